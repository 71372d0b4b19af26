// The two file-mask actions whose masks depend on what the machine holds: the
// fixed drives (Windows Update downloads) and the registry (Outlook's secure
// temporary folder).
#include "catalogue/FileMaskClasses.h"
#include "texts/Texts.h"

#include "catalogue/FolderMasks.h"
#include "engine/Masks.h"
#include "engine/SystemRoutines.h"
#include "engine/TemporaryFolders.h"
#include "platform/Registry.h"

#include <windows.h>

namespace {

std::wstring WithBackslash(std::wstring path) {
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    return path;
}

std::wstring WithoutBackslash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring OutlookSecurityKey(int version) {
    return L"Software\\Microsoft\\Office\\" + std::to_wstring(version) + L".0\\Outlook\\Security";
}

// The string value Name of Key, or empty when it is missing or not a string.
// A REG_EXPAND_SZ value is expanded: an unexpanded "%USERPROFILE%\..." names no folder.
std::wstring ReadStringValue(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return L"";
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t)) return L"";
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &read) != ERROR_SUCCESS)
        return L"";
    value.resize(read / sizeof(wchar_t));
    // The stored data may or may not include its terminating zero.
    const size_t end = value.find(L'\0');
    if (end != std::wstring::npos) value.resize(end);
    if (type == REG_EXPAND_SZ && !value.empty()) {
        const DWORD needed = ::ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
        if (needed == 0) return value;
        std::wstring expanded(needed, L'\0');
        const DWORD written = ::ExpandEnvironmentStringsW(value.c_str(), expanded.data(), needed);
        if (written == 0 || written > needed) return value;
        expanded.resize(written - 1);
        return expanded;
    }
    return value;
}

}  // namespace

// --- Windows Update downloads ---

std::vector<std::wstring> WindowsUpdateTempFolders(const std::vector<std::wstring>& Drives,
                                                   const std::wstring& WindowsDir) {
    std::vector<std::wstring> folders;
    for (const auto& drive : Drives) {
        folders.push_back(WithBackslash(drive) + L"WUTemp");
        folders.push_back(WithBackslash(drive) + L"msdownld.tmp");
    }
    folders.push_back(WithBackslash(WindowsDir) + L"msdownld.tmp");
    folders.push_back(WithBackslash(WindowsDir) + L"Windows Update 设置文件");
    return folders;
}

void TDeleteWindowsUpdateTemporaryFiles::Configure(std::wstring& Name, std::wstring& Masks,
                                                   TSmartProtection& SmartProtection) {
    std::vector<std::wstring> drives;
    GetFixedDrives(drives);
    // A refused folder is neither cleaned nor removed afterwards.
    TempFolders.clear();
    for (const auto& folder : WindowsUpdateTempFolders(drives, GetWindowsDir())) {
        const std::wstring accepted = TemporaryFolderToEmpty(folder);
        if (!accepted.empty()) TempFolders.push_back(WithoutBackslash(accepted));
    }
    std::vector<std::wstring> masks;
    for (const auto& folder : TempFolders) masks.push_back(FolderContentMask(folder));
    Name = LoadText(TTextId::ActionUpdateTemp);
    Masks = MakeMaskList(masks);
    SmartProtection = TSmartProtection::spSession;
}

void TDeleteWindowsUpdateTemporaryFiles::Execute() {
    TCleanupFileMaskItem::Execute();
    for (auto folder = TempFolders.rbegin(); folder != TempFolders.rend(); ++folder)
        RemoveEmptiedFolder(*folder);
}

// --- Outlook's secure temporary folder ---

bool TEmptyOutlookSecureTempDirectory::IsAvailable() {
    for (int version = 9; version <= 11; ++version)
        if (RegistryKeyExists(HKEY_CURRENT_USER, L"\\" + OutlookSecurityKey(version))) return true;
    return false;
}

void TEmptyOutlookSecureTempDirectory::Configure(std::wstring& Name, std::wstring& Masks,
                                                 TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionOutlookSecureTemp);
    SmartProtection = TSmartProtection::spSession;
    std::vector<std::wstring> masks;
    for (int version = 8; version <= 12; ++version) {
        // Reading the value needs no more than query access.
        TRegKey key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, OutlookSecurityKey(version).c_str(), 0, KEY_QUERY_VALUE,
                            key.Receive()) != ERROR_SUCCESS)
            continue;
        const std::wstring folder = TemporaryFolderToEmpty(ReadStringValue(key.Get(), L"OutlookSecureTempFolder"));
        if (folder.empty() || !FolderExists(folder)) continue;
        masks.push_back(FolderContentMask(folder));
    }
    Masks = MakeMaskList(masks);
}
