#include "catalogue/VolumeCacheHandlers.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

std::wstring ReadString(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > 65536)
        return L"";
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return L"";
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (type == REG_EXPAND_SZ && text.find(L'%') != std::wstring::npos) {
        wchar_t expanded[2048] = {};
        if (::ExpandEnvironmentStringsW(text.c_str(), expanded, 2048) > 0) text = expanded;
    }
    return text;
}

DWORD ReadDword(HKEY key, const wchar_t* name) {
    DWORD type = 0, value = 0, size = sizeof(value);
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0;
    return value;
}

// "@%SystemRoot%\system32\x.dll,-1234" from the resource DLL; a plain text as it is.
std::wstring ResolveIndirect(const std::wstring& text) {
    if (text.empty() || text[0] != L'@') return text;
    wchar_t buffer[1024] = {};
    if (SUCCEEDED(::SHLoadIndirectString(text.c_str(), buffer, 1024, nullptr))) return buffer;
    return text;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

// The recycle bin's handler, by its key and its class.
bool IsRecycleBinHandler(const std::wstring& keyName, const std::wstring& clsid) {
    return EqualsNoCase(keyName, L"Recycle Bin") || EqualsNoCase(clsid, L"{5ef4af3a-f726-11d0-b8a2-00c04fc309a4}");
}

}  // namespace

std::wstring TVolumeCacheHandler::DisplayName() const {
    if (!HandlerDisplay.empty()) return HandlerDisplay;
    if (!BagDisplay.empty()) return ResolveIndirect(BagDisplay);
    if (!Display.empty()) return Display;
    return KeyName;
}

std::wstring TVolumeCacheHandler::DescriptionText() const {
    if (!HandlerDescription.empty()) return HandlerDescription;
    if (!BagDescription.empty()) return ResolveIndirect(BagDescription);
    return Description;
}

bool TVolumeCacheHandler::Scanned() const {
    return !Drives.empty() && std::all_of(Drives.begin(), Drives.end(), [](const TVolumeCacheDrive& d) {
        return d.State != TVolumeCacheDriveState::Pending;
    });
}

bool TVolumeCacheHandler::Listed() const {
    if (!Failure.empty() || NeedsAdministrator) return true;  // greyed, with its reason
    bool any = Drives.empty();
    for (const TVolumeCacheDrive& d : Drives) {
        if (d.State == TVolumeCacheDriveState::Removed) continue;
        if (d.State == TVolumeCacheDriveState::Counted && d.Size == 0 && (d.Flags & 0x0010 /*EVCF_DONTSHOWIFZERO*/) != 0)
            continue;
        any = true;
    }
    return any;
}

uint64_t TVolumeCacheHandler::TotalSize() const {
    uint64_t total = 0;
    for (const TVolumeCacheDrive& d : Drives)
        if (d.State == TVolumeCacheDriveState::Counted) total += d.Size;
    return total;
}

bool TVolumeCacheHandler::AnyNotCounted() const {
    return std::any_of(Drives.begin(), Drives.end(),
                       [](const TVolumeCacheDrive& d) { return d.State == TVolumeCacheDriveState::NotCounted; });
}

bool TVolumeCacheHandler::HoldsUserFiles() const {
    // The Downloads folder, and File History's older versions of the user's files.
    if (EqualsNoCase(KeyName, L"DownloadsFolder") || EqualsNoCase(KeyName, L"User file versions")) return true;
    const std::wstring text = Lower(DisplayName() + L" " + DescriptionText() + L" " + Description);
    for (const wchar_t* words : {L"downloads", L"下载", L"your files", L"your personal", L"personal files", L"个人文件",
                                 L"您的文件", L"你的文件", L"您的个人", L"你的个人", L"user file", L"用户文件"})
        if (text.find(words) != std::wstring::npos) return true;
    return false;
}

bool TVolumeCacheHandler::DefaultChecked(bool automatic) const {
    const DWORD wanted = automatic ? 0x0008 /*EVCF_ENABLEBYDEFAULT_AUTO*/ : 0x0002 /*EVCF_ENABLEBYDEFAULT*/;
    return (Flags & wanted) != 0 && !HoldsUserFiles();
}

std::wstring& VolumeCachesKeyPath() {
    static std::wstring path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\VolumeCaches";
    return path;
}

std::vector<TVolumeCacheHandler> FindVolumeCacheHandlers() {
    std::vector<TVolumeCacheHandler> handlers;
    HKEY root = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, VolumeCachesKeyPath().c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &root) !=
        ERROR_SUCCESS)
        return handlers;
    for (DWORD index = 0; index < 4096; ++index) {
        wchar_t name[256] = {};
        DWORD length = 256;
        const LONG status = ::RegEnumKeyExW(root, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        HKEY key = nullptr;
        if (::RegOpenKeyExW(root, name, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) continue;
        TVolumeCacheHandler handler;
        handler.KeyName = name;
        handler.Clsid = ReadString(key, nullptr);
        // A few handlers keep their class in a value named CLSID instead.
        if (handler.Clsid.empty()) handler.Clsid = ReadString(key, L"CLSID");
        handler.Display = ResolveIndirect(ReadString(key, L"Display"));
        handler.Description = ResolveIndirect(ReadString(key, L"Description"));
        handler.PropertyBag = ReadString(key, L"PropertyBag");
        handler.Priority = ReadDword(key, L"Priority");
        handler.RegistryFlags = ReadDword(key, L"Flags");
        ::RegCloseKey(key);
        if (handler.Clsid.empty() || IsRecycleBinHandler(handler.KeyName, handler.Clsid)) continue;
        handler.NeedsAdministrator = VolumeCacheHandlerNeedsAdministrator(handler.KeyName) && !ProcessIsElevated()();
        handlers.push_back(std::move(handler));
    }
    ::RegCloseKey(root);
    std::stable_sort(handlers.begin(), handlers.end(), [](const TVolumeCacheHandler& a, const TVolumeCacheHandler& b) {
        if (a.Priority != b.Priority) return a.Priority > b.Priority;
        return _wcsicmp(a.KeyName.c_str(), b.KeyName.c_str()) < 0;
    });
    return handlers;
}

bool VolumeCacheHandlerNeedsAdministrator(const std::wstring& keyName) {
    // Windows' handlers whose files lie below the Windows folder, in
    // ProgramData or in the component store: they refuse a standard token.
    static const wchar_t* const known[] = {
        L"Active Setup Temp Folders", L"BranchCache", L"Content Indexer Cleaner", L"Delivery Optimization Files",
        L"Device Driver Packages", L"Diagnostic Data Viewer database files", L"Downloaded Program Files",
        L"Language Pack", L"Old ChkDsk Files", L"Previous Installations", L"RetailDemo Offline Content",
        L"Service Pack Cleanup", L"Setup Log Files", L"System error memory dump files",
        L"System error minidump files", L"Temporary Setup Files", L"Update Cleanup", L"Upgrade Discarded Files",
        L"Windows Defender", L"Windows Error Reporting Files", L"Windows ESD installation files",
        L"Windows Reset Log Files", L"Windows Upgrade Log Files"};
    for (const wchar_t* name : known)
        if (EqualsNoCase(keyName, name)) return true;
    return false;
}

std::function<bool()>& ProcessIsElevated() {
    static std::function<bool()> elevated = [] {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        const bool result = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
                            elevation.TokenIsElevated != 0;
        ::CloseHandle(token);
        return result;
    };
    return elevated;
}

std::wstring VolumeCacheDriveName(const std::wstring& drive) {
    if (drive.size() >= 2 && drive[1] == L':') return std::wstring{static_cast<wchar_t>(std::towupper(drive[0])), L':'};
    return drive;
}

std::wstring VolumeCacheOutcomeLogText(const std::wstring& displayName, const TVolumeCacheOutcome& outcome) {
    return FormatText(TTextId::VolumeCacheLogOutcome, displayName, VolumeCacheDriveName(outcome.Drive), outcome.Freed,
                      FormatSizeText(static_cast<double>(outcome.Freed)), outcome.Estimate);
}

std::wstring VolumeCacheSizesText(const TVolumeCacheHandler& handler) {
    std::wstring text;
    for (const TVolumeCacheDrive& d : handler.Drives) {
        std::wstring size;
        switch (d.State) {
            case TVolumeCacheDriveState::Counted: size = FormatSizeText(static_cast<double>(d.Size)); break;
            case TVolumeCacheDriveState::NotCounted: size = LoadText(TTextId::VolumeCacheNotCounted); break;
            case TVolumeCacheDriveState::Pending: size = LoadText(TTextId::VolumeCacheSizingNow); break;
            case TVolumeCacheDriveState::Removed: continue;
            case TVolumeCacheDriveState::Failed: size = LoadText(TTextId::VolumeCacheFailed); break;
        }
        text += (text.empty() ? L"" : L", ") + VolumeCacheDriveName(d.Drive) + L" " + size;
    }
    return text;
}

std::wstring VolumeCacheResultText(HRESULT result) {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(result));
    wchar_t* message = nullptr;
    std::wstring text = code;
    if (::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr) > 0 &&
        message != nullptr) {
        std::wstring system = message;
        while (!system.empty() && (system.back() == L'\n' || system.back() == L'\r' || system.back() == L' ' ||
                                   system.back() == L'.' || system.back() == L'。'))
            system.pop_back();
        if (!system.empty()) text += L" (" + system + L")";
    }
    if (message != nullptr) ::LocalFree(message);
    return text;
}
