#include "catalogue/Winapp2Rules.h"
#include "texts/Texts.h"

#include "catalogue/FolderMasks.h"
#include "catalogue/Winapp2Registry.h"
#include "engine/FolderPaths.h"
#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <thread>

namespace {

std::vector<std::wstring> GTestFolders;

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

std::wstring Upper(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = UpperAscii(c);
    return out;
}

bool HasWildcard(std::wstring_view path) { return path.find_first_of(L"*?") != std::wstring_view::npos; }

std::wstring WithoutBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring KnownFolder(const KNOWNFOLDERID& id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) folder = path;
    ::CoTaskMemFree(path);
    return folder.empty() ? folder : WithoutBackslash(LongFolderPath(folder));
}

std::wstring EnvironmentFolder(const wchar_t* name) {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return {};
    return WithoutBackslash(LongFolderPath(buffer));
}

void AddDistinct(std::vector<std::wstring>& list, const std::wstring& folder) {
    if (folder.empty()) return;
    for (const auto& f : list)
        if (SamePathText(f, folder)) return;
    list.push_back(folder);
}

// The file's bytes; empty when it cannot be read, and then Why says why
// (empty for a file that is simply empty).
std::string ReadWholeFile(const std::wstring& fileName, std::wstring& why) {
    why.clear();
    THandle file(::CreateFileW(ExtendedLengthPath(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        why = SysErrorMessage(::GetLastError());
        return {};
    }
    LARGE_INTEGER size{};
    // A rule file is text of a few megabytes; anything near a gigabyte is not one.
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > (256LL << 20)) {
        why = LoadText(TTextId::Winapp2FileTooLarge);
        return {};
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        why = SysErrorMessage(::GetLastError());
        return {};
    }
    bytes.resize(read);
    return bytes;
}

// The folder of an upper-cased full path, and its name.
void SplitUpperPath(std::wstring_view path, std::wstring_view& folder, std::wstring_view& name) {
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring_view::npos) {
        folder = {};
        name = path;
        return;
    }
    // A file in a drive's root lies in "C:\", as the rules spell the root.
    folder = path.substr(0, slash == 2 ? 3 : slash);
    name = path.substr(slash + 1);
}

std::wstring_view ParentOf(std::wstring_view folder) {
    if (folder.size() <= 3) return {};
    const size_t slash = folder.rfind(L'\\');
    if (slash == std::wstring_view::npos) return {};
    return folder.substr(0, slash == 2 ? 3 : slash);
}

bool NameMatches(const std::vector<TWinapp2Rule::TNamePattern>& patterns, std::wstring_view name) {
    using P = TWinapp2Rule::TNamePattern;
    for (const auto& p : patterns) {
        switch (p.Kind) {
            case P::npEvery: return true;
            case P::npLiteral:
                if (p.Text == name) return true;
                break;
            case P::npWildcards:
                if (MatchesPathPattern(p.Text, name)) return true;
                break;
            case P::npDosRules:
                if (MatchesNamePattern(p.Text, name)) return true;
                break;
        }
    }
    return false;
}

TWinapp2Rule::TNamePattern CompilePattern(const std::wstring& pattern) {
    using P = TWinapp2Rule::TNamePattern;
    P compiled;
    compiled.Text = Upper(pattern);
    if (PatternMatchesEveryName(pattern)) compiled.Kind = P::npEvery;
    else if (NamePatternNeedsDosRules(compiled.Text)) compiled.Kind = P::npDosRules;
    else if (HasWildcard(compiled.Text)) compiled.Kind = P::npWildcards;
    else compiled.Kind = P::npLiteral;
    return compiled;
}

// True when Folder (upper) lies in Rule's folder: at it, or below when it recurses.
bool InFolder(const TWinapp2Rule::TFolderRule& rule, std::wstring_view folder) {
    const bool wild = HasWildcard(rule.Folder);
    for (std::wstring_view f = folder; !f.empty(); f = ParentOf(f)) {
        if (wild ? MatchesPathPattern(rule.Folder, f) : f == rule.Folder) return true;
        if (!rule.Recurse) return false;
    }
    return false;
}

}  // namespace

// --- This computer ---

TWinapp2Folders Winapp2FoldersOfThisComputer() {
    TWinapp2Folders f;
    f.AppData = KnownFolder(FOLDERID_RoamingAppData);
    f.LocalAppData = KnownFolder(FOLDERID_LocalAppData);
    f.LocalLowAppData = KnownFolder(FOLDERID_LocalAppDataLow);
    f.ProgramData = KnownFolder(FOLDERID_ProgramData);
    AddDistinct(f.ProgramFiles, KnownFolder(FOLDERID_ProgramFilesX64));
    AddDistinct(f.ProgramFiles, KnownFolder(FOLDERID_ProgramFiles));
    AddDistinct(f.ProgramFiles, KnownFolder(FOLDERID_ProgramFilesX86));
    AddDistinct(f.CommonProgramFiles, KnownFolder(FOLDERID_ProgramFilesCommonX64));
    AddDistinct(f.CommonProgramFiles, KnownFolder(FOLDERID_ProgramFilesCommon));
    AddDistinct(f.CommonProgramFiles, KnownFolder(FOLDERID_ProgramFilesCommonX86));
    f.UserProfile = KnownFolder(FOLDERID_Profile);
    f.Documents = KnownFolder(FOLDERID_Documents);
    f.Pictures = KnownFolder(FOLDERID_Pictures);
    f.Music = KnownFolder(FOLDERID_Music);
    f.Video = KnownFolder(FOLDERID_Videos);
    f.Desktop = KnownFolder(FOLDERID_Desktop);
    f.Public = KnownFolder(FOLDERID_Public);
    f.Downloads = KnownFolder(FOLDERID_Downloads);
    f.WinDir = WithoutBackslash(GetWindowsDir());
    if (f.WinDir.size() >= 2 && f.WinDir[1] == L':') f.SystemDrive = f.WinDir.substr(0, 2);
    const std::wstring systemDrive = EnvironmentFolder(L"SystemDrive");
    if (systemDrive.size() >= 2 && systemDrive[1] == L':') f.SystemDrive = systemDrive.substr(0, 2);
    f.Temp = WithoutBackslash(GetTempDirectory());
    wchar_t user[256] = {};
    DWORD size = 256;
    if (::GetUserNameW(user, &size)) f.UserName = user;
    f.UsersFolder = KnownFolder(FOLDERID_UserProfiles);
    if (f.UsersFolder.empty() && !f.UserProfile.empty()) {
        const size_t slash = f.UserProfile.rfind(L'\\');
        if (slash != std::wstring::npos && slash > 2) f.UsersFolder = f.UserProfile.substr(0, slash);
    }
    return f;
}

namespace {

// Every existing entry matching the wildcard path; Folders only: folders, never reparse points.
void ExpandWildcards(const std::wstring& path, bool foldersOnly, std::vector<std::wstring>& out, size_t limit) {
    // The first part with a wildcard: everything before it is literal.
    size_t start = 3, wildPart = std::wstring::npos;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        if (HasWildcard(std::wstring_view(path).substr(start, end - start))) {
            wildPart = start;
            break;
        }
        start = end + 1;
    }
    if (wildPart == std::wstring::npos) {
        const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        if (foldersOnly && ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
                            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0))
            return;
        out.push_back(path);
        return;
    }
    size_t end = path.find(L'\\', wildPart);
    const bool last = end == std::wstring::npos;
    if (last) end = path.size();
    const std::wstring pattern = path.substr(0, end);
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW(ExtendedLengthPath(pattern).c_str(), &data));
    if (!find.Valid()) return;
    const std::wstring parent = path.substr(0, wildPart);
    const std::wstring part = Upper(std::wstring_view(path).substr(wildPart, end - wildPart));
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L".." || IsForeignEntryName(name)) continue;
        if (!MatchesPathPattern(part, Upper(name))) continue;  // the system's own matching is looser
        const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                            (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        if (last) {
            if (!foldersOnly || folder) out.push_back(parent + name);
        } else if (folder) {
            ExpandWildcards(parent + name + path.substr(end), foldersOnly, out, limit);
        }
        if (out.size() >= limit) return;
    } while (::FindNextFileW(find.Get(), &data));
}

}  // namespace

bool Winapp2PathExists(const std::wstring& path) {
    std::vector<std::wstring> found;
    ExpandWildcards(path, false, found, 1);
    return !found.empty();
}

std::vector<std::wstring> ExpandWinapp2Wildcards(const std::wstring& path) {
    std::vector<std::wstring> found;
    ExpandWildcards(path, true, found, 100000);
    return found;
}

namespace {

std::wstring SystemUpper(std::wstring text) {
    if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::vector<std::wstring> PathParts(std::wstring_view path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Thousands of entries ask whether their folders and keys exist, most of them
// in the same few places: each folder and key is listed once, and every
// question after that is a look-up. Where a listing is refused, the system is
// asked directly.
class TFolderListings {
public:
    bool Exists(const std::wstring& path) {
        const std::vector<std::wstring> parts = PathParts(path);
        if (parts.empty()) return false;
        return ExistsBelow(parts[0], parts, 1, path);
    }

private:
    struct TListing {
        bool Listed = false;
        std::unordered_map<std::wstring, std::pair<std::wstring, bool>> Names;  // upper -> (name, is a folder)
    };
    const TListing& List(const std::wstring& folder) {
        const std::wstring key = SystemUpper(folder);
        auto it = FListings.find(key);
        if (it != FListings.end()) return it->second;
        TListing& listing = FListings[key];
        WIN32_FIND_DATAW data;
        TFindHandle find(::FindFirstFileW(ExtendedLengthPath(folder + L"\\*").c_str(), &data));
        if (!find.Valid()) {
            // An empty or missing folder lists as nothing; a refused one is asked about name by name.
            listing.Listed = ::GetLastError() != ERROR_ACCESS_DENIED;
            return listing;
        }
        listing.Listed = true;
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L".." || IsForeignEntryName(name)) continue;
            const bool folderEntry = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                     (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
            listing.Names.emplace(SystemUpper(name), std::make_pair(name, folderEntry));
        } while (::FindNextFileW(find.Get(), &data));
        return listing;
    }
    bool ExistsBelow(const std::wstring& folder, const std::vector<std::wstring>& parts, size_t i,
                     const std::wstring& whole) {
        if (i == parts.size()) return true;
        const TListing& listing = List(folder);
        if (!listing.Listed) return Winapp2PathExists(whole);
        const bool last = i + 1 == parts.size();
        if (!HasWildcard(parts[i])) {
            const auto it = listing.Names.find(SystemUpper(parts[i]));
            if (it == listing.Names.end() || (!last && !it->second.second)) return false;
            return ExistsBelow(folder + L"\\" + it->second.first, parts, i + 1, whole);
        }
        const std::wstring pattern = SystemUpper(parts[i]);
        for (const auto& [upper, entry] : listing.Names)
            if ((last || entry.second) && MatchesPathPattern(pattern, upper) &&
                ExistsBelow(folder + L"\\" + entry.first, parts, i + 1, whole))
                return true;
        return false;
    }
    std::unordered_map<std::wstring, TListing> FListings;
};

class TKeyListings {
public:
    bool Exists(const std::wstring& key) {
        const auto split = SplitWinapp2RegPath(key);
        if (!split) return false;
        const std::vector<std::wstring> parts = PathParts(split->SubKey);
        for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            std::wstring path;
            bool found = true;
            for (const std::wstring& part : parts) {
                const auto& names = List(split->Hive, view, path);
                if (!names) {  // cannot be listed: asked directly
                    found = RegistryKeyExists(HiveKey(split->Hive), split->SubKey);
                    break;
                }
                const auto it = names->find(SystemUpper(part));
                if (it == names->end()) {
                    found = false;
                    break;
                }
                path += (path.empty() ? L"" : L"\\") + it->second;
            }
            if (found) return true;
        }
        return false;
    }

private:
    using TNames = std::optional<std::unordered_map<std::wstring, std::wstring>>;
    const TNames& List(TWinapp2RegPath::THive hive, REGSAM view, const std::wstring& path) {
        const std::wstring key = std::to_wstring(hive) + L"|" + std::to_wstring(view) + L"|" + SystemUpper(path);
        auto it = FListings.find(key);
        if (it != FListings.end()) return it->second;
        TNames& names = FListings[key];
        HKEY opened = nullptr;
        const LONG result = ::RegOpenKeyExW(HiveKey(hive), path.empty() ? nullptr : path.c_str(), 0,
                                            KEY_ENUMERATE_SUB_KEYS | view, &opened);
        if (result == ERROR_FILE_NOT_FOUND) {
            names.emplace();  // no key: no subkeys
            return names;
        }
        if (result != ERROR_SUCCESS) return names;
        names.emplace();
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            if (::RegEnumKeyExW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names->emplace(SystemUpper(std::wstring(name, length)), std::wstring(name, length));
        }
        ::RegCloseKey(opened);
        return names;
    }
    std::unordered_map<std::wstring, TNames> FListings;
};

}  // namespace

TWinapp2System Winapp2SystemOfThisComputer() {
    TWinapp2System system;
    system.Folders = Winapp2FoldersOfThisComputer();
    auto keys = std::make_shared<TKeyListings>();
    auto folders = std::make_shared<TFolderListings>();
    system.KeyExists = [keys](const std::wstring& key) { return keys->Exists(key); };
    system.PathExists = [folders](const std::wstring& path) { return folders->Exists(path); };
    // GetVersionEx is told a lie by the manifest's compatibility list; ntdll is not.
    using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (auto get = reinterpret_cast<TRtlGetVersion>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
        get != nullptr && get(&version) == 0) {
        system.Major = version.dwMajorVersion;
        system.Minor = version.dwMinorVersion;
    }
    return system;
}

std::vector<std::wstring> Winapp2Folders() {
    if (!GTestFolders.empty()) return GTestFolders;
    std::vector<std::wstring> folders;
    wchar_t module[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring exe(module, n);
    const size_t slash = exe.rfind(L'\\');
    if (slash != std::wstring::npos) folders.push_back(exe.substr(0, slash));
    const std::wstring appData = GetSpecialFolder(CSIDL_APPDATA);
    if (!appData.empty()) {
        const std::wstring settings = appData + L"Holvane\\Vantrel";
        if (folders.empty() || !SamePathText(folders[0], settings)) folders.push_back(settings);
    }
    return folders;
}

void SetWinapp2FoldersForTesting(const std::vector<std::wstring>& folders) { GTestFolders = folders; }

// --- Loading ---

void TWinapp2RuleSet::LoadFolders(const std::vector<std::wstring>& folders, const TWinapp2System& system) {
    ReadFolders(folders, system);
    Prepare(system);
}

void TWinapp2RuleSet::LoadFolders(const std::vector<std::wstring>& folders,
                                  const std::function<TWinapp2System()>& askSystem) {
    TWinapp2System system;
    std::exception_ptr failure;
    std::thread asker([&] {
        // The known folders come from the shell, which wants COM on the thread that asks.
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        try {
            system = askSystem();
        } catch (...) {
            failure = std::current_exception();
        }
        if (SUCCEEDED(com)) ::CoUninitialize();
    });
    // Reading the text needs nothing of the system.
    try {
        ReadFolders(folders, TWinapp2System{});
    } catch (...) {
        asker.join();
        throw;
    }
    asker.join();
    if (failure) std::rethrow_exception(failure);
    Prepare(system);
}

void TWinapp2RuleSet::ReadFolders(const std::vector<std::wstring>& folders, const TWinapp2System& system) {
    for (const std::wstring& folder : folders) {
        // The file system ignores letter case; the search gives the name as stored.
        WIN32_FIND_DATAW data;
        const std::wstring pattern = WithTrailingBackslash(folder) + L"winapp2.ini";
        TFindHandle find(::FindFirstFileW(ExtendedLengthPath(pattern).c_str(), &data));
        if (!find.Valid() || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::wstring fileName = WithTrailingBackslash(folder) + data.cFileName;
        std::wstring why;
        const std::string bytes = ReadWholeFile(fileName, why);
        // A file another program holds locked is passed over, and the log says so.
        if (!why.empty()) UnreadFiles.push_back(fileName + L": " + why);
        if (bytes.empty()) continue;
        AddText(DecodeWinapp2Text(bytes), fileName, system);
    }
}

void TWinapp2RuleSet::AddText(std::wstring_view text, const std::wstring& source, const TWinapp2System&) {
    TWinapp2File file = ParseWinapp2(text);
    Files.push_back(source);
    SkippedLines += file.SkippedLines;
    for (TWinapp2Entry& entry : file.Entries) {
        TWinapp2Rule rule;
        rule.Source = source;
        const auto [at, added] = FByName.try_emplace(Upper(entry.Name), Rules.size());
        rule.Entry = std::move(entry);
        if (added)
            Rules.push_back(std::move(rule));
        else
            Rules[at->second] = std::move(rule);
    }
}

void TWinapp2RuleSet::Prepare(const TWinapp2System& system) {
    FByFolder.clear();
    // About three folders an entry: the index is sized once rather than grown.
    FByFolder.reserve(Rules.size() * 3);
    UnknownSpecialDetects.clear();
    const TWinapp2Guards guards = Winapp2GuardsOf(system.Folders);
    for (uint32_t i = 0; i < Rules.size(); ++i) {
        TWinapp2Rule& rule = Rules[i];
        CheckWinapp2Entry(rule.Entry, system.Folders, &guards);
        rule.Detected = Detect(rule, system);
        if (rule.Detected && !rule.Refused()) Compile(i, system);
    }
}

bool TWinapp2RuleSet::Detect(const TWinapp2Rule& rule, const TWinapp2System& system) const {
    const TWinapp2Entry& e = rule.Entry;
    // Unknown values are noted whether or not the entry is detected otherwise.
    static const struct {
        const wchar_t* Name;
        const wchar_t* Path;
    } special[] = {{L"DET_CHROME", L"%LocalAppData%\\Google\\Chrome\\User Data"},
                   {L"DET_MOZILLA", L"%AppData%\\Mozilla\\Firefox"},
                   {L"DET_FIREFOX", L"%AppData%\\Mozilla\\Firefox"},
                   {L"DET_THUNDERBIRD", L"%AppData%\\Thunderbird"},
                   {L"DET_OPERA", L"%AppData%\\Opera Software"},
                   {L"DET_EDGE", L"%LocalAppData%\\Microsoft\\Edge\\User Data"}};
    auto& unknown = const_cast<std::vector<std::wstring>&>(UnknownSpecialDetects);
    for (const auto& name : e.SpecialDetect) {
        const std::wstring upper = Upper(name);
        if (std::none_of(std::begin(special), std::end(special), [&](const auto& s) { return upper == s.Name; }) &&
            std::find(unknown.begin(), unknown.end(), name) == unknown.end())
            unknown.push_back(name);
    }
    if (!Winapp2OsMatches(e.DetectOS, system.Major, system.Minor)) return false;
    if (e.Detect.empty() && e.DetectFile.empty() && e.SpecialDetect.empty()) return true;
    for (const auto& key : e.Detect)
        if (system.KeyExists && system.KeyExists(key)) return true;
    std::wstring error;
    for (const auto& file : e.DetectFile)
        for (const auto& path : ExpandWinapp2Path(file, system.Folders, error))
            if (system.PathExists && system.PathExists(path)) return true;
    // The browsers the cleaners know by name, found by their profile folders.
    for (const auto& name : e.SpecialDetect)
        for (const auto& s : special)
            if (Upper(name) == s.Name)
                for (const auto& path : ExpandWinapp2Path(s.Path, system.Folders, error))
                    if (system.PathExists && system.PathExists(path)) return true;
    return false;
}

void TWinapp2RuleSet::Compile(uint32_t index, const TWinapp2System& system) {
    TWinapp2Rule& rule = Rules[index];
    rule.FileRules.clear();
    rule.ExcludeRules.clear();
    rule.RemoveSelfFolders.clear();
    std::wstring error;
    rule.FileRules.reserve(rule.Entry.FileKeys.size());
    for (const TWinapp2FileKey& key : rule.Entry.FileKeys) {
        std::vector<TWinapp2Rule::TNamePattern> patterns;
        patterns.reserve(key.Patterns.size());
        for (const auto& p : key.Patterns) patterns.push_back(CompilePattern(p));
        const std::vector<std::wstring> expanded =
            key.Expanded.empty() ? ExpandWinapp2Path(key.Path, system.Folders, error) : std::vector<std::wstring>{};
        const std::vector<std::wstring>& paths = key.Expanded.empty() ? expanded : key.Expanded;
        for (const std::wstring& path : paths) {
            const uint32_t at = static_cast<uint32_t>(rule.FileRules.size());
            TWinapp2Rule::TFolderRule fileRule;
            fileRule.Folder = Upper(path);
            fileRule.Recurse = key.Recurse;
            // Most keys stand for one folder: the last one takes the patterns rather than a copy.
            if (&path == &paths.back())
                fileRule.Patterns = std::move(patterns);
            else
                fileRule.Patterns = patterns;
            if (HasWildcard(path)) {
                // Filed under the folders before the first wildcard part.
                const std::vector<std::wstring> parts = PathParts(fileRule.Folder);
                std::wstring literal;
                size_t k = 0;
                for (; k < parts.size() && !HasWildcard(parts[k]); ++k) {
                    if (k > 0) literal += L'\\';
                    literal += parts[k];
                }
                if (literal.size() == 2) literal += L'\\';  // "C:" is filed as the root "C:\"
                fileRule.LiteralParts = k;
                fileRule.FirstWildPart = k < parts.size() ? parts[k] : std::wstring();
                for (size_t j = k + 1; j < parts.size(); ++j)
                    if (!HasWildcard(parts[j]) && parts[j].size() + 1 > fileRule.Anchor.size())
                        fileRule.Anchor = L"\\" + parts[j];
                const std::wstring start = fileRule.FirstWildPart.substr(0, fileRule.FirstWildPart.find_first_of(L"*?"));
                TFiled& filed = FByFolder[literal];
                filed.Wild[start].push_back({index, at});
                if (std::find(filed.Lengths.begin(), filed.Lengths.end(), start.size()) == filed.Lengths.end())
                    filed.Lengths.push_back(start.size());
            } else {
                FByFolder.try_emplace(fileRule.Folder).first->second.Exact.push_back({index, at});
            }
            rule.FileRules.push_back(std::move(fileRule));
            if (key.RemoveSelf) rule.RemoveSelfFolders.push_back(path);
        }
    }
    for (const TWinapp2Exclude& exclude : rule.Entry.Excludes) {
        if (exclude.Kind == TWinapp2Exclude::ekReg) continue;
        std::vector<TWinapp2Rule::TNamePattern> patterns;
        for (const auto& p : exclude.Patterns) patterns.push_back(CompilePattern(p));
        const std::vector<std::wstring> expanded = exclude.Expanded.empty()
                                                       ? ExpandWinapp2Path(exclude.Path, system.Folders, error)
                                                       : std::vector<std::wstring>{};
        const std::vector<std::wstring>& paths = exclude.Expanded.empty() ? expanded : exclude.Expanded;
        for (const std::wstring& path : paths) {
            TWinapp2Rule::TFolderRule excludeRule;
            excludeRule.Folder = Upper(path);
            excludeRule.Recurse = exclude.Kind == TWinapp2Exclude::ekPath;
            if (&path == &paths.back())
                excludeRule.Patterns = std::move(patterns);
            else
                excludeRule.Patterns = patterns;
            rule.ExcludeRules.push_back(std::move(excludeRule));
        }
    }
}

// --- Matching ---

bool TWinapp2RuleSet::Takes(const TWinapp2Rule& rule, const TWinapp2Rule::TFolderRule& fileRule,
                            std::wstring_view folder, std::wstring_view name, bool exact) const {
    if (!exact && !InFolder(fileRule, folder)) return false;
    if (!NameMatches(fileRule.Patterns, name)) return false;
    for (const auto& exclude : rule.ExcludeRules)
        if (InFolder(exclude, folder) && NameMatches(exclude.Patterns, name)) return false;
    return true;
}

void TWinapp2RuleSet::MatchFile(std::wstring_view upperFileName, std::vector<uint32_t>& matched) const {
    matched.clear();
    std::wstring_view folder, name;
    SplitUpperPath(upperFileName, folder, name);
    if (folder.empty() || FByFolder.empty()) return;
    const auto note = [&](uint32_t rule) {
        if (std::find(matched.begin(), matched.end(), rule) == matched.end()) matched.push_back(rule);
    };
    bool own = true;
    for (std::wstring_view f = folder; !f.empty(); f = ParentOf(f), own = false) {
        const auto it = FByFolder.find(f);
        if (it == FByFolder.end()) continue;
        for (const TRef& ref : it->second.Exact) {
            const TWinapp2Rule& rule = Rules[ref.Rule];
            const auto& fileRule = rule.FileRules[ref.FileRule];
            if ((own || fileRule.Recurse) && Takes(rule, fileRule, folder, name, true)) note(ref.Rule);
        }
        if (it->second.Wild.empty() || own) continue;
        // The part of the file's folder right after F: a wildcard rule filed
        // here needs it to start with its first wildcard part's literal start,
        // then to fit that part, before anything else.
        const size_t from = f.size() == 3 ? 3 : f.size() + 1;
        const size_t to = folder.find(L'\\', from);
        const std::wstring_view next = folder.substr(from, to == std::wstring_view::npos ? folder.size() - from : to - from);
        for (const size_t length : it->second.Lengths) {
            if (length > next.size()) continue;
            const auto refs = it->second.Wild.find(next.substr(0, length));
            if (refs == it->second.Wild.end()) continue;
            for (const TRef& ref : refs->second) {
                const TWinapp2Rule& rule = Rules[ref.Rule];
                const auto& fileRule = rule.FileRules[ref.FileRule];
                if (!fileRule.Anchor.empty() && folder.find(fileRule.Anchor, from) == std::wstring_view::npos) continue;
                if (!MatchesPathPattern(fileRule.FirstWildPart, next)) continue;
                if (Takes(rule, fileRule, folder, name, false)) note(ref.Rule);
            }
        }
    }
    std::sort(matched.begin(), matched.end());
}

std::vector<std::wstring> TWinapp2RuleSet::FolderMasks() const {
    std::vector<std::wstring> masks;
    for (const auto& [folder, filed] : FByFolder) {
        if (!filed.Exact.empty()) masks.push_back(FolderContentMask(folder));
        for (const auto& [start, refs] : filed.Wild)
            for (const TRef& ref : refs) {
                // The rule's own wildcards narrow the mask; a folder of many stars
                // (the matcher takes at most 30 runs) is held by its literal part.
                const std::wstring& pattern = Rules[ref.Rule].FileRules[ref.FileRule].Folder;
                if (std::count(pattern.begin(), pattern.end(), L'*') <= 8)
                    masks.push_back(EscapeMaskBrackets(pattern) + L"\\*");
                else
                    masks.push_back(FolderContentMask(folder));
            }
    }
    std::sort(masks.begin(), masks.end());
    masks.erase(std::unique(masks.begin(), masks.end()), masks.end());
    return masks;
}

int TWinapp2RuleSet::CheckedCount() const {
    return static_cast<int>(std::count_if(Rules.begin(), Rules.end(), [](const auto& r) { return r.Runs(); }));
}

int TWinapp2RuleSet::OfferedCount() const {
    return static_cast<int>(std::count_if(Rules.begin(), Rules.end(), [](const auto& r) { return r.Offered(); }));
}

int TWinapp2RuleSet::RefusedCount() const {
    return static_cast<int>(
        std::count_if(Rules.begin(), Rules.end(), [](const auto& r) { return r.Offered() && r.Refused(); }));
}

int TWinapp2RuleSet::KeyFaultCount() const {
    int count = 0;
    for (const auto& rule : Rules)
        if (rule.Offered()) count += static_cast<int>(rule.Entry.KeyFaults.size());
    return count;
}

int TWinapp2RuleSet::Find(const std::wstring& name) const {
    const auto it = FByName.find(Upper(name));
    return it == FByName.end() ? -1 : static_cast<int>(it->second);
}
