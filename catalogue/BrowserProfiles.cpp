#include "catalogue/BrowserProfiles.h"

#include "catalogue/FolderMasks.h"
#include "engine/FolderPaths.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"
#include "platform/Utf8.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
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

// The file's bytes; empty when it is missing, unreadable or unreasonably large.
std::string ReadFileBytes(const std::wstring& fileName, LONGLONG maxBytes) {
    THandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > maxBytes) return {};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return {};
    bytes.resize(read);
    return bytes;
}

constexpr LONGLONG ProfilesIniLimit = 1 << 20;

std::wstring ReadTextFile(const std::wstring& fileName) {
    std::string bytes = ReadFileBytes(fileName, ProfilesIniLimit);
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
    // A link in the lock's place is no lock the browser made: it is neither
    // opened nor replaced, and the profile is passed over.
    const DWORD attributes = ::GetFileAttributesW(LockFile.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return;
    FHandle.Reset(OpenLockFile(LockFile));
    if (FHandle) {
        FState = TProfileLockState::Free;
        return;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        // No profile folder: nothing to clean, nothing to hold.
        FState = TProfileLockState::Free;
    } else if (error == ERROR_FILE_NOT_FOUND) {
        // Made as Chromium makes it: a browser starting now fails to make its
        // own, exactly as against a running copy, and the file goes with us.
        // One made by the browser in the meantime fails this (it exists): held.
        FHandle.Reset(::CreateFileW(LockFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (FHandle) FState = TProfileLockState::Free;
    }
}

TProfileLockState ProbeProfileLock(const std::wstring& LockFile) {
    const DWORD attributes = ::GetFileAttributesW(LockFile.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return TProfileLockState::Held;
    const THandle probe(OpenLockFile(LockFile));
    return probe ? TProfileLockState::Free : StateAfterFailedOpen(::GetLastError());
}

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

namespace {

bool ReadHex4(const std::string& json, size_t at, uint32_t& value) {
    if (at + 4 > json.size()) return false;
    value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const char c = json[i];
        value <<= 4;
        if (c >= '0' && c <= '9') value |= static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') value |= static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') value |= static_cast<uint32_t>(c - 'A' + 10);
        else return false;
    }
    return true;
}

// The JSON string starting at the quote at Pos; Pos moves past its closing quote.
bool ReadJsonString(const std::string& json, size_t& pos, std::string& value) {
    value.clear();
    for (++pos; pos < json.size(); ++pos) {
        const char c = json[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++pos >= json.size()) return false;
        switch (json[pos]) {
            case '"': value += '"'; break;
            case '\\': value += '\\'; break;
            case '/': value += '/'; break;
            case 'b': value += '\b'; break;
            case 'f': value += '\f'; break;
            case 'n': value += '\n'; break;
            case 'r': value += '\r'; break;
            case 't': value += '\t'; break;
            case 'u': {
                // UTF-16 code units, a surrogate pair as one character.
                uint32_t unit = 0, low = 0;
                if (!ReadHex4(json, pos + 1, unit)) return false;
                pos += 4;
                std::wstring character(1, static_cast<wchar_t>(unit));
                if (unit >= 0xD800 && unit < 0xDC00 && pos + 6 < json.size() && json[pos + 1] == '\\' &&
                    json[pos + 2] == 'u' && ReadHex4(json, pos + 3, low) && low >= 0xDC00 && low < 0xE000) {
                    character += static_cast<wchar_t>(low);
                    pos += 6;
                }
                value += ToUtf8(character);
                break;
            }
            default: return false;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> JsonUrlValues(const std::string& Json) { return JsonStringValues(Json, "url"); }

std::vector<std::string> JsonStringValues(const std::string& Json, const std::string& Key) {
    std::vector<std::string> urls;
    bool valueOfUrl = false;  // the next value belongs to a Key key
    size_t pos = 0;
    while (pos < Json.size()) {
        const char c = Json[pos];
        if (c == '"') {
            std::string text;
            if (!ReadJsonString(Json, pos, text)) break;
            size_t next = pos;
            while (next < Json.size() && std::isspace(static_cast<unsigned char>(Json[next]))) ++next;
            if (next < Json.size() && Json[next] == ':') {
                valueOfUrl = text == Key;
                pos = next + 1;
            } else {
                if (valueOfUrl) urls.push_back(text);
                valueOfUrl = false;
            }
            continue;
        }
        // Any other value (an object, a list, a number) is not the address.
        if (c == '{' || c == '[' || c == ',' || c == '}' || c == ']') valueOfUrl = false;
        ++pos;
    }
    return urls;
}

std::vector<std::string> ChromiumBookmarkedUrls(const std::wstring& ProfileFolder) {
    std::vector<std::string> urls;
    const std::wstring profile = WithTrailingBackslash(ProfileFolder);
    for (const wchar_t* file : {L"Bookmarks", L"Account Bookmarks"})
        for (auto& url : JsonUrlValues(ReadFileBytes(profile + file, 256 << 20))) urls.push_back(std::move(url));
    return urls;
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

bool FirefoxProfilesIniTooLarge(const std::wstring& RoamingRoot) {
    if (RoamingRoot.empty()) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW((WithTrailingBackslash(RoamingRoot) + L"profiles.ini").c_str(), GetFileExInfoStandard,
                                &data))
        return false;
    const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size > static_cast<ULONGLONG>(ProfilesIniLimit);
}

std::wstring NormalisedFolder(const std::wstring& path) {
    const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return {};
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    if (written == 0 || written >= length) return {};
    full.resize(written);
    return WithTrailingBackslash(full);
}

bool PathLiesInside(const std::wstring& Folder, const std::wstring& Root) {
    const std::wstring folder = NormalisedFolder(Folder), root = NormalisedFolder(Root);
    if (folder.empty() || root.empty() || folder.size() < root.size()) return false;
    return ::CompareStringOrdinal(folder.c_str(), static_cast<int>(root.size()), root.c_str(),
                                  static_cast<int>(root.size()), TRUE) == CSTR_EQUAL;
}
