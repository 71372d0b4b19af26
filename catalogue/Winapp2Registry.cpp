#include "catalogue/Winapp2Registry.h"

#include "platform/Registry.h"

#include <windows.h>

#include <string>

namespace {

constexpr REGSAM View = KEY_WOW64_64KEY;

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool SameText(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

struct TKeptPlace {
    TWinapp2RegPath::THive Hive;
    std::wstring SubKey;
    std::wstring Value;  // empty: the whole key
};

class TRegDeleter {
public:
    TRegDeleter(TWinapp2RegPath::THive hive, const std::vector<TWinapp2Exclude>& excludes) : FHive(hive) {
        for (const auto& exclude : excludes) {
            if (exclude.Kind != TWinapp2Exclude::ekReg) continue;
            if (const auto split = SplitWinapp2RegPath(exclude.Path))
                FKept.push_back({split->Hive, split->SubKey, exclude.Value});
        }
    }

    int64_t Deleted = 0;

    // The key itself is kept, or a key above it.
    bool KeyKept(const std::wstring& subKey) const {
        for (const auto& k : FKept)
            if (k.Value.empty() && k.Hive == FHive &&
                (SameText(k.SubKey, subKey) ||
                 (subKey.size() > k.SubKey.size() && subKey[k.SubKey.size()] == L'\\' &&
                  SameText(k.SubKey, subKey.substr(0, k.SubKey.size())))))
                return true;
        return false;
    }
    bool ValueKept(const std::wstring& subKey, const std::wstring& value) const {
        for (const auto& k : FKept)
            if (!k.Value.empty() && k.Hive == FHive && SameText(k.SubKey, subKey) && SameText(k.Value, value))
                return true;
        return false;
    }

    void DeleteValue(const std::wstring& subKey, const std::wstring& value) {
        if (ValueKept(subKey, value) || KeyKept(subKey)) return;
        TRegKey key;
        if (::RegOpenKeyExW(HiveKey(FHive), subKey.c_str(), 0, KEY_SET_VALUE | View, key.Receive()) != ERROR_SUCCESS)
            return;
        if (::RegDeleteValueW(key.Get(), value.c_str()) == ERROR_SUCCESS) ++Deleted;
    }

    // True when the key went; a key holding something kept stays with the rest of it gone.
    bool DeleteTree(const std::wstring& subKey) {
        if (KeyKept(subKey)) return false;
        TRegKey key;
        // Opened as itself: a link key is recognised and left, never followed.
        if (::RegOpenKeyExW(HiveKey(FHive), subKey.c_str(), REG_OPTION_OPEN_LINK,
                            KEY_READ | KEY_SET_VALUE | View, key.Receive()) != ERROR_SUCCESS)
            return false;
        DWORD type = 0;
        if (::RegQueryValueExW(key.Get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
            type == REG_LINK)
            return false;
        std::vector<std::wstring> children;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            if (::RegEnumKeyExW(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            children.emplace_back(name, length);
        }
        bool kept = false;
        for (const auto& child : children) kept = !DeleteTree(subKey + L"\\" + child) || kept;
        if (!kept) {
            for (const auto& k : FKept)
                if (!k.Value.empty() && k.Hive == FHive && SameText(k.SubKey, subKey)) kept = true;
        }
        if (kept) {
            // What is not kept still goes: the key's other values.
            std::vector<std::wstring> values;
            for (DWORD i = 0;; ++i) {
                wchar_t name[16384];
                DWORD length = 16384;
                if (::RegEnumValueW(key.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                    break;
                values.emplace_back(name, length);
            }
            for (const auto& value : values)
                if (!ValueKept(subKey, value) && ::RegDeleteValueW(key.Get(), value.c_str()) == ERROR_SUCCESS)
                    ++Deleted;
            return false;
        }
        key.Reset();
        if (::RegDeleteKeyExW(HiveKey(FHive), subKey.c_str(), View, 0) != ERROR_SUCCESS) return false;
        ++Deleted;
        return true;
    }

private:
    TWinapp2RegPath::THive FHive;
    std::vector<TKeptPlace> FKept;
};

}  // namespace

HKEY HiveKey(TWinapp2RegPath::THive hive) {
    switch (hive) {
        case TWinapp2RegPath::rhCurrentUser: return HKEY_CURRENT_USER;
        case TWinapp2RegPath::rhLocalMachine: return HKEY_LOCAL_MACHINE;
        case TWinapp2RegPath::rhUsers: return HKEY_USERS;
        case TWinapp2RegPath::rhClassesRoot: return HKEY_CLASSES_ROOT;
        case TWinapp2RegPath::rhCurrentConfig: return HKEY_CURRENT_CONFIG;
        default: return nullptr;
    }
}

int64_t DeleteWinapp2RegKey(const TWinapp2RegKey& regKey, const std::vector<TWinapp2Exclude>& excludes) {
    const auto split = SplitWinapp2RegPath(regKey.Key);
    // CheckWinapp2Entry keeps hive roots and Windows' own keys out; checked again, as this deletes.
    if (!split || !Winapp2RegistryGuard(regKey.Name, regKey.Key).empty()) return 0;
    TRegDeleter deleter(split->Hive, excludes);
    if (regKey.Value)
        deleter.DeleteValue(split->SubKey, *regKey.Value);
    else
        deleter.DeleteTree(split->SubKey);
    return deleter.Deleted;
}
