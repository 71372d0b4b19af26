#include "catalogue/SyncedFolders.h"

#include "catalogue/BrowserProfiles.h"
#include "engine/FolderPaths.h"
#include "platform/Handles.h"
#include "platform/Registry.h"
#include "platform/Utf8.h"

#include <sddl.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace {

// Settings files of a few kilobytes; anything beyond this is not theirs.
constexpr LONGLONG MaxSettingsFileBytes = 4 << 20;

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::string ReadSmallFile(const std::wstring& fileName) {
    THandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_NO_RECALL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > MaxSettingsFileBytes) return {};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return {};
    bytes.resize(read);
    return bytes;
}

std::wstring ReadRegistryString(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > 1 << 20)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        return {};
    value.resize(wcsnlen(value.c_str(), size / sizeof(wchar_t)));
    if (type == REG_EXPAND_SZ) {
        std::wstring expanded(32768, L'\0');
        const DWORD length = ::ExpandEnvironmentStringsW(value.c_str(), expanded.data(), 32768);
        if (length > 0 && length <= 32768) value.assign(expanded.c_str());
    }
    return value;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        const LONG result = ::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

TRegKey OpenKey(HKEY root, const std::wstring& path) {
    TRegKey key;
    ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Receive());
    return key;
}

class TCollector {
public:
    void Add(std::wstring path, const std::wstring& client) {
        std::replace(path.begin(), path.end(), L'/', L'\\');
        // A drive letter alone, as Google Drive names its streamed drive.
        if (path.size() == 1 || (path.size() == 2 && path[1] == L':')) path = path.substr(0, 1) + L":\\";
        const std::wstring folder = FullFolderPath(path);
        if (folder.empty()) return;
        const DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return;
        std::wstring shown = folder;
        if (shown.size() > 3 && shown.back() == L'\\') shown.pop_back();
        for (const auto& known : Folders)
            if (SamePathText(WithTrailingBackslash(known.Path), WithTrailingBackslash(shown))) return;
        Folders.push_back({shown, client});
    }

    std::vector<TSyncedFolder> Folders;
};

void AddSyncRoots(const TSyncedFolderPlaces& places, TCollector& out) {
    if (places.UserSid.empty()) return;
    const std::wstring manager = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\SyncRootManager";
    const TRegKey roots = OpenKey(places.LocalMachine, manager);
    if (!roots) return;
    for (const auto& root : SubkeyNames(roots.Get())) {
        const TRegKey user = OpenKey(roots.Get(), root + L"\\UserSyncRoots");
        if (!user) continue;
        const TRegKey named = OpenKey(roots.Get(), root);
        std::wstring client = named ? ReadRegistryString(named.Get(), L"DisplayNameResource") : std::wstring();
        // "OneDrive!S-1-5-21-...!Personal": the provider before the first "!".
        if (client.empty() || client.starts_with(L"@")) client = root.substr(0, root.find(L'!'));
        out.Add(ReadRegistryString(user.Get(), places.UserSid.c_str()), client);
    }
}

void AddOneDrive(const TSyncedFolderPlaces& places, TCollector& out) {
    const TRegKey accounts = OpenKey(places.CurrentUser, L"Software\\Microsoft\\OneDrive\\Accounts");
    if (!accounts) return;
    for (const auto& account : SubkeyNames(accounts.Get())) {
        const TRegKey key = OpenKey(accounts.Get(), account);
        if (key) out.Add(ReadRegistryString(key.Get(), L"UserFolder"), L"OneDrive");
    }
}

void AddDropbox(const TSyncedFolderPlaces& places, TCollector& out) {
    for (const std::wstring* folder : {&places.LocalAppData, &places.AppData}) {
        if (folder->empty()) continue;
        for (const auto& path : JsonStringValues(ReadSmallFile(WithTrailingBackslash(*folder) + L"Dropbox\\info.json"), "path"))
            out.Add(FromUtf8(path), L"Dropbox");
    }
}

void AddGoogleDriveMirrors(const TSyncedFolderPlaces& places, TCollector& out) {
    if (places.LocalAppData.empty()) return;
    const std::wstring database = WithTrailingBackslash(places.LocalAppData) + L"Google\\DriveFS\\root_preference_sqlite.db";
    if (::GetFileAttributesW(database.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    // Read-only, never made, never written: the client owns the file, and may hold it.
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(ToUtf8(database).c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    if (opened != SQLITE_OK) return;
    sqlite3_busy_timeout(db.get(), 200);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT last_seen_absolute_path FROM roots", -1, &statement, nullptr) != SQLITE_OK)
        return;
    std::vector<std::wstring> paths;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        if (text != nullptr) paths.push_back(FromUtf8(text));
    }
    sqlite3_finalize(statement);
    for (auto& path : paths) {
        if (path.starts_with(L"\\\\?\\UNC\\")) path = L"\\\\" + path.substr(8);
        else if (path.starts_with(L"\\\\?\\")) path = path.substr(4);
        out.Add(path, L"Google Drive");
    }
}

void AddGoogleDriveMounts(const TSyncedFolderPlaces& places, TCollector& out) {
    const TRegKey key = OpenKey(places.CurrentUser, L"Software\\Google\\DriveFS");
    if (!key) return;
    for (const auto& path : JsonStringValues(ToUtf8(ReadRegistryString(key.Get(), L"PerAccountPreferences")), "mount_point_path"))
        out.Add(FromUtf8(path), L"Google Drive");
}

void AddICloudDrive(const TSyncedFolderPlaces& places, TCollector& out) {
    if (!places.UserProfile.empty()) out.Add(WithTrailingBackslash(places.UserProfile) + L"iCloudDrive", L"iCloud Drive");
}

// nextcloud.cfg is an INI file whose [Accounts] keys name each synced folder
// "<account>\Folders\<n>\localPath" (or FoldersWithPlaceholders), with "/".
void AddNextcloud(const TSyncedFolderPlaces& places, TCollector& out) {
    if (places.AppData.empty()) return;
    const std::wstring text = FromUtf8(ReadSmallFile(WithTrailingBackslash(places.AppData) + L"Nextcloud\\nextcloud.cfg"));
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find(L'\n', begin);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring key = line.substr(0, equals);
        if (key.size() >= 10 && _wcsicmp(key.c_str() + key.size() - 10, L"\\localPath") == 0)
            out.Add(line.substr(equals + 1), L"Nextcloud");
    }
}

}  // namespace

TSyncedFolderPlaces CurrentUserSyncedFolderPlaces() {
    TSyncedFolderPlaces places;
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> buffer(size);
        wchar_t* sid = nullptr;
        if (size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
            ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
            places.UserSid = sid;
            ::LocalFree(sid);
        }
        ::CloseHandle(token);
    }
    const auto variable = [](const wchar_t* name) {
        std::wstring value(32768, L'\0');
        const DWORD length = ::GetEnvironmentVariableW(name, value.data(), 32768);
        value.resize(length > 0 && length < 32768 ? length : 0);
        return value;
    };
    places.LocalAppData = variable(L"LOCALAPPDATA");
    places.AppData = variable(L"APPDATA");
    places.UserProfile = variable(L"USERPROFILE");
    return places;
}

std::vector<TSyncedFolder> ReadSyncedFolders(const TSyncedFolderPlaces& Places) {
    TCollector out;
    AddSyncRoots(Places, out);
    AddOneDrive(Places, out);
    AddDropbox(Places, out);
    AddGoogleDriveMirrors(Places, out);
    AddGoogleDriveMounts(Places, out);
    AddICloudDrive(Places, out);
    AddNextcloud(Places, out);
    return out.Folders;
}

std::vector<std::wstring> SyncedFolderPaths(const std::vector<TSyncedFolder>& Folders) {
    std::vector<std::wstring> paths;
    for (const auto& folder : Folders) paths.push_back(folder.Path);
    return paths;
}
