#include "catalogue/BrowserProfiles.h"

#include "catalogue/FolderMasks.h"
#include "engine/FolderPaths.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <utility>

namespace {

HANDLE OpenLockFile(const std::wstring& lockFile) {
    // No sharing at all: a running browser holds the file, so this fails.
    return ::CreateFileW(lockFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

TProfileLockState StateAfterFailedOpen(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TProfileLockState::Free
                                                                          : TProfileLockState::Held;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    const size_t length = wcslen(prefix);
    return text.size() >= length &&
           ::CompareStringOrdinal(text.c_str(), static_cast<int>(length), prefix, static_cast<int>(length), TRUE) ==
               CSTR_EQUAL;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) { return a.size() == wcslen(b) && StartsWithNoCase(a, b); }

std::wstring Trimmed(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && std::iswspace(text[first])) ++first;
    while (last > first && std::iswspace(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// profiles.ini as Firefox writes it: UTF-8, "[Section]" lines and "Key=Value" lines.
struct TIniSection {
    std::wstring Name;
    std::vector<std::pair<std::wstring, std::wstring>> Values;
    std::wstring Value(const wchar_t* key) const {
        for (const auto& [k, v] : Values)
            if (EqualsNoCase(k, key)) return v;
        return {};
    }
};

std::wstring ReadTextFile(const std::wstring& fileName) {
    THandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > (1 << 20)) return {};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return {};
    bytes.resize(read);
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
    // Firefox writes UTF-8; a file that is not falls back to the system code page.
    for (UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
        const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
        const int length = ::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                                 nullptr, 0);
        if (length <= 0) continue;
        std::wstring text(static_cast<size_t>(length), L'\0');
        ::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
        return text;
    }
    return {};
}

std::vector<TIniSection> ParseIni(const std::wstring& text) {
    std::vector<TIniSection> sections;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == L';' || line[0] == L'#') continue;
        if (line.front() == L'[' && line.back() == L']') {
            sections.push_back({Trimmed(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos || sections.empty()) continue;
        sections.back().Values.emplace_back(Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)));
    }
    return sections;
}

bool IsPlainFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void AddFirefoxProfile(std::vector<TFirefoxProfile>& profiles, std::wstring path, bool relative,
                       const std::wstring& roamingRoot, const std::wstring& localRoot) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    if (path.empty()) return;
    TFirefoxProfile profile;
    if (relative) {
        // A relative path must stay below the Firefox folder.
        if (IsFullyQualifiedPath(path) || path[0] == L'\\' || path.find(L"..") != std::wstring::npos) return;
        profile.Folder = WithTrailingBackslash(roamingRoot + path);
        profile.LocalFolder = localRoot.empty() ? std::wstring() : WithTrailingBackslash(localRoot + path);
    } else {
        if (!IsFullyQualifiedPath(path)) return;
        profile.Folder = WithTrailingBackslash(path);
        profile.LocalFolder = profile.Folder;
    }
    // Firefox writes prefs.js into every profile it has run; a folder without it
    // (a path typed by hand, a drive root) is not taken for a profile.
    if (!FolderExists(profile.Folder) || !IsPlainFile(profile.Folder + L"prefs.js")) return;
    for (const auto& known : profiles)
        if (SamePathText(known.Folder, profile.Folder)) return;
    profiles.push_back(std::move(profile));
}

}  // namespace

// --- Locks ---

TBrowserProfileLock::TBrowserProfileLock(const std::wstring& LockFile) {
    FHandle.Reset(OpenLockFile(LockFile));
    FState = FHandle ? TProfileLockState::Free : StateAfterFailedOpen(::GetLastError());
}

TProfileLockState ProbeProfileLock(const std::wstring& LockFile) { return TBrowserProfileLock(LockFile).State(); }

// --- Chromium ---

const TChromiumBrowser GoogleChrome = {L"Google Chrome", L"Google\\Chrome\\User Data"};
const TChromiumBrowser MicrosoftEdge = {L"Microsoft Edge", L"Microsoft\\Edge\\User Data"};

std::wstring ChromiumUserDataFolder(const TChromiumBrowser& Browser) {
    const std::wstring local = GetSpecialFolder(CSIDL_LOCAL_APPDATA);
    return local.empty() ? std::wstring() : WithTrailingBackslash(local + Browser.UserDataBelowLocalAppData);
}

std::vector<std::wstring> ChromiumProfileFolders(const std::wstring& UserDataFolder) {
    std::vector<std::wstring> folders;
    if (UserDataFolder.empty()) return folders;
    const std::wstring base = WithTrailingBackslash(UserDataFolder);
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW((base + L"*").c_str(), &data));
    if (!find) return folders;
    do {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            continue;
        if (EqualsNoCase(name, L"Default") || StartsWithNoCase(name, L"Profile "))
            folders.push_back(base + name + L"\\");
    } while (::FindNextFileW(find.Get(), &data));
    return folders;
}

// --- Firefox ---

std::wstring FirefoxRoamingRoot() {
    const std::wstring roaming = GetSpecialFolder(CSIDL_APPDATA);
    return roaming.empty() ? std::wstring() : roaming + L"Mozilla\\Firefox\\";
}

std::wstring FirefoxLocalRoot() {
    const std::wstring local = GetSpecialFolder(CSIDL_LOCAL_APPDATA);
    return local.empty() ? std::wstring() : local + L"Mozilla\\Firefox\\";
}

std::vector<TFirefoxProfile> FirefoxProfiles(const std::wstring& RoamingRoot, const std::wstring& LocalRoot) {
    std::vector<TFirefoxProfile> profiles;
    if (RoamingRoot.empty()) return profiles;
    const std::wstring roaming = WithTrailingBackslash(RoamingRoot);
    const std::wstring local = LocalRoot.empty() ? std::wstring() : WithTrailingBackslash(LocalRoot);
    for (const auto& section : ParseIni(ReadTextFile(roaming + L"profiles.ini"))) {
        if (StartsWithNoCase(section.Name, L"Profile")) {
            // Firefox reads a missing IsRelative as relative.
            const bool relative = section.Value(L"IsRelative") != L"0";
            AddFirefoxProfile(profiles, section.Value(L"Path"), relative, roaming, local);
        } else if (StartsWithNoCase(section.Name, L"Install")) {
            std::wstring path = section.Value(L"Default");
            std::replace(path.begin(), path.end(), L'/', L'\\');
            AddFirefoxProfile(profiles, path, !IsFullyQualifiedPath(path), roaming, local);
        }
    }
    return profiles;
}
