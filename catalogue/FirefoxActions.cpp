#include "catalogue/FirefoxActions.h"
#include "texts/Texts.h"

#include "catalogue/BrowserProfiles.h"
#include "catalogue/FolderMasks.h"
#include "engine/FolderPaths.h"
#include "engine/SystemRoutines.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

namespace {

void AppendBackslash(std::wstring& path) {
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A value of an initialisation file, whatever its length; empty when missing.
std::wstring ReadIniString(const std::wstring& fileName, const wchar_t* section, const wchar_t* key) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetPrivateProfileStringW(section, key, L"", buffer.data(), size, fileName.c_str());
        // A value cut to fit comes back with size - 1 characters.
        if (length + 1 < size || size >= 32768) return std::wstring(buffer.data(), length);
        buffer.resize(size * 2);
    }
}

// Deletes the named file of the first profile; nothing when it is not there.
void DeleteProfileFile(const wchar_t* name) {
    const std::wstring profile = GetFirefoxProfileDir();
    if (profile.empty()) return;
    const std::wstring file = profile + name;
    // Firefox holds the file while it runs; then it simply stays.
    if (IsFile(file)) ::DeleteFileW(file.c_str());
}

}  // namespace

std::wstring GetFirefoxProfileDir() {
    std::wstring base = GetSpecialFolder(CSIDL_APPDATA);
    AppendBackslash(base);
    base += L"Mozilla\\Firefox\\";
    if (!FolderExists(base)) return {};
    std::wstring path = ReadIniString(base + L"profiles.ini", L"Profile0", L"Path");
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.empty()) return {};
    std::wstring directory;
    if (IsFullyQualifiedPath(path)) {
        // Where the file names a folder elsewhere, it must be a profile Firefox
        // has run, as for Firefox 57+: a hand-typed "D:\" would lose its Cache.
        directory = path;
        AppendBackslash(directory);
        if (!IsFile(directory + L"prefs.js")) return {};
    } else {
        // A relative path stays inside the Firefox folder, whatever ".." it holds.
        directory = NormalisedFolder(base + path);
        if (directory.empty() || !PathLiesInside(directory, base)) return {};
    }
    return FolderExists(directory) ? directory : std::wstring();
}

void ClearFirefoxCache() {
    const std::wstring profile = GetFirefoxProfileDir();
    if (profile.empty()) return;
    const std::wstring cache = profile + L"Cache";
    if (!FolderExists(cache) || !IsFile(cache + L"\\_CACHE_MAP_")) return;
    // What will not go (files Firefox holds open) stays, and so does the folder.
    DeleteDirectoryTree(cache);
    CreateDirectoryTree(cache);
}

void DeleteFirefoxCookies() { DeleteProfileFile(L"cookies.txt"); }

void DeleteFirefoxHistory() { DeleteProfileFile(L"history.dat"); }

bool FirefoxInstalledForUser() { return RegistryKeyExists(HKEY_CURRENT_USER, L"\\SOFTWARE\\Mozilla\\Mozilla Firefox"); }

// --- The actions ---

void TClearMozillaFirefoxHistory::Configure(std::wstring& Name, std::wstring& ProgressText,
                                            std::wstring& FirstInfoLine, std::wstring& /*SecondInfoLine*/) {
    Name = FormatText(TTextId::ActionProductHistory, L"Mozilla Firefox");
    ProgressText = FormatText(TTextId::ProgressProductHistory, L"Mozilla Firefox");
    FirstInfoLine = FormatText(TTextId::InfoProductHistory, L"Mozilla Firefox");
}

void TClearMozillaFirefoxHistory::Execute() {
    TCleanupSpecialActionItem::Execute();
    DeleteFirefoxHistory();
}

void TClearMozillaFirefoxCache::Configure(std::wstring& Name, std::wstring& ProgressText,
                                          std::wstring& FirstInfoLine, std::wstring& /*SecondInfoLine*/) {
    Name = FormatText(TTextId::ActionBrowserCache, L"Mozilla Firefox");
    ProgressText = FormatText(TTextId::ProgressBrowserCache, L"Mozilla Firefox");
    FirstInfoLine = FormatText(TTextId::InfoBrowserCache, L"Mozilla Firefox");
}

void TClearMozillaFirefoxCache::Execute() {
    TCleanupSpecialActionItem::Execute();
    ClearFirefoxCache();
}

void TClearMozillaFirefoxCookies::Configure(std::wstring& Name, std::wstring& ProgressText,
                                            std::wstring& FirstInfoLine, std::wstring& SecondInfoLine) {
    Name = FormatText(TTextId::ActionBrowserCookies, L"Mozilla Firefox");
    ProgressText = FormatText(TTextId::ProgressBrowserCookies, L"Mozilla Firefox");
    FirstInfoLine = FormatText(TTextId::InfoBrowserCookies, L"Mozilla Firefox");
    SecondInfoLine = LoadText(TTextId::InfoKeepSignedIn);
}

void TClearMozillaFirefoxCookies::Execute() {
    TCleanupSpecialActionItem::Execute();
    DeleteFirefoxCookies();
}
