#include "engine/OrvDirectoryReader.h"

#include "engine/CloudFiles.h"
#include "engine/DateTime.h"
#include "engine/Exceptions.h"
#include "engine/FolderPaths.h"
#include "engine/Masks.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <exception>

namespace {

// Window messages are processed at most this often: a pump per entry costs a
// server round trip and would dominate the walk, while 15 ms keeps the window
// responsive. Stop is checked at every entry regardless.
constexpr uint64_t MessageIntervalMs = 15;

// Paths from this length on go to the system in their \\?\ form. It leaves room
// below MAX_PATH for the "*" pattern and matches CreateDirectoryW's own limit.
constexpr size_t LongPathFrom = MAX_PATH - 12;

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

// True when Text, upper-cased, equals Upper (already upper case).
bool EqualsUpper(const wchar_t* text, size_t length, const std::wstring& upper) {
    if (length != upper.size()) return false;
    for (size_t i = 0; i < length; ++i)
        if (UpperAscii(text[i]) != upper[i]) return false;
    return true;
}

// The text from the last dot of a name, dot included; empty without a dot.
// A drive or folder separator after the dot ends the search, as for a path.
std::wstring ExtractExtension(const std::wstring& name) {
    for (size_t i = name.size(); i-- > 0;) {
        if (name[i] == L'.') return name.substr(i);
        if (name[i] == L'\\' || name[i] == L':') break;
    }
    return L"";
}

// Path as the system calls must see it: unchanged while short, otherwise the
// \\?\ form, which lifts MAX_PATH but takes only absolute, normalised paths.
const wchar_t* SystemPath(const std::wstring& path, std::wstring& buffer) {
    if (path.size() < LongPathFrom || path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\"))
        return path.c_str();
    DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    DWORD length = needed == 0 ? 0 : ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path.c_str();
    full.resize(length);
    if (full.starts_with(L"\\\\"))
        buffer = L"\\\\?\\UNC\\" + full.substr(2);
    else
        buffer = L"\\\\?\\" + full;
    return buffer.c_str();
}

bool DirectoryExists(const std::wstring& path) {
    std::wstring buffer;
    const DWORD attributes = ::GetFileAttributesW(SystemPath(path, buffer));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Junctions, directory symbolic links and mount points name another place:
// entering them would walk a tree twice, or leave the drive being read, or loop.
// Other reparse points (deduplicated folders, ...) hold their own content and
// are walked; cloud folders never reach this test. A reparse point whose tag
// the system does not report is taken as a link.
bool IsLinkedDirectory(const WIN32_FIND_DATAW& data) {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    return data.dwReserved0 == 0 || IsReparseTagNameSurrogate(data.dwReserved0);
}

bool IsDotEntry(const wchar_t* name) { return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)); }

TDirEntryHookForTesting GDirEntryHook;

// The \\?\ form of the walk's root, to which the names the walk finds are
// appended as they are: a name Windows would read as a device ("com3.old") or
// trim ("dir.", "name ") reaches the entry itself only that way. Empty when the
// root cannot be made absolute; then the plain form is used.
std::wstring LiteralRoot(const std::wstring& root) {
    if (root.starts_with(L"\\\\?\\") || root.starts_with(L"\\\\.\\")) return root;
    const DWORD needed = ::GetFullPathNameW(root.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length = needed == 0 ? 0 : ::GetFullPathNameW(root.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    if (full.empty() || full.back() != L'\\') full.push_back(L'\\');
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace

TDirEntryKind ClassifyDirEntry(const WIN32_FIND_DATAW& Data, bool Recursive) {
    if (IsDotEntry(Data.cFileName)) return TDirEntryKind::Skip;
    // Under Wine a Unix name may hold a backslash ("..\\Documents" leads
    // elsewhere, "..\\..\\.." back up the drive without end) or U+FFFD for bytes
    // that are not UTF-8 (the name leads to another entry). Neither leads back here.
    if (IsForeignEntryName(Data.cFileName)) return TDirEntryKind::Skip;
    // dwReserved0 holds the reparse tag when the attributes say reparse point.
    if (IsContentElsewhere(Data.dwFileAttributes, Data.dwReserved0)) return TDirEntryKind::Skip;
    if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Recursive && !IsLinkedDirectory(Data) ? TDirEntryKind::Directory : TDirEntryKind::Skip;
    return TDirEntryKind::File;
}

void SetDirEntryHookForTesting(TDirEntryHookForTesting Hook) { GDirEntryHook = std::move(Hook); }

// The state of one walk. Each walk has its own, so a walk started from a window
// message while an older one unwinds does not disturb it.
struct TDirReader::TWalk {
    struct TLevel {
        TFindHandle Find;
        size_t PathLength;  // length of Path for this directory, trailing backslash included
        bool EntryPending;  // Data holds the first entry, not yet handled
    };

    std::wstring Path;  // the directory being read; a file's name is appended while it is reported
    std::wstring SystemPathBuffer;
    size_t RootLength = 0;
    std::wstring LiteralRoot;  // see LiteralRoot; empty: plain paths
    std::vector<TLevel> Levels;
    WIN32_FIND_DATAW Data;

    // Settings read once when the walk starts.
    bool AllFiles = false;
    std::wstring MaskExtension;  // upper case
    std::vector<std::wstring> Excluded;  // every spelling, trailing backslash
    TDirReaderFileEvent OnFile;
    TDirReaderDirectoryEvent OnDirectory;
    bool Recursive = false;
    int32_t MinWriteAge = 0;
    int32_t MinAccessAge = 0;

    // Refreshed per directory when an age filter is on.
    TDateTime NowTime = 0;
    int64_t LocalBias = 0;

    explicit TWalk(const TDirReader& reader)
        : AllFiles(reader.FileMask == L"*.*"),
          MaskExtension(UpperCaseAscii(ExtractExtension(reader.FileMask))),
          OnFile(reader.OnFile),
          OnDirectory(reader.OnDirectory),
          Recursive(reader.Recursive),
          MinWriteAge(reader.MinWriteAge),
          MinAccessAge(reader.FMinAccessAge) {
        for (const std::wstring& entry : reader.FExcludedDirectories) AddExcluded(entry);
        Path.reserve(MAX_PATH);
        Path = reader.FDirectory;
        RootLength = Path.size();
        LiteralRoot = ::LiteralRoot(Path);
    }

    // Path followed by "*", as the system must see it to list that directory.
    const wchar_t* ListingPattern() {
        if (LiteralRoot.empty()) {
            Path.push_back(L'*');
            const wchar_t* pattern = SystemPath(Path, SystemPathBuffer);
            if (pattern != SystemPathBuffer.c_str()) SystemPathBuffer = Path;
            Path.pop_back();
            return SystemPathBuffer.c_str();
        }
        SystemPathBuffer.assign(LiteralRoot).append(Path, RootLength, std::wstring::npos).push_back(L'*');
        return SystemPathBuffer.c_str();
    }
    TWalk(const TWalk&) = delete;
    TWalk& operator=(const TWalk&) = delete;

    ~TWalk() {
        // Deepest enumeration first, as the recursion they stand for would close them.
        while (!Levels.empty()) Levels.pop_back();
    }

    // The folder as typed, and as the walk would meet it: in its long form (a short
    // name, "/", "..", doubled separators resolved) and where a link on its way
    // leads - the walk never passes a link, it reaches that place by its own path.
    void AddExcluded(const std::wstring& entry) {
        std::vector<std::wstring> spellings = FolderSpellings(entry);
        spellings.push_back(entry);
        for (const auto& spelling : spellings) {
            std::wstring folder = WithTrailingBackslash(spelling);
            if (std::find(Excluded.begin(), Excluded.end(), folder) == Excluded.end())
                Excluded.push_back(std::move(folder));
        }
    }

    bool IsExcluded() const {
        for (const auto& entry : Excluded)
            if (SamePathText(Path, entry)) return true;
        return false;
    }

    int64_t WriteAge() const { return FileTimeAgeSeconds(NowTime, Data.ftLastWriteTime, LocalBias); }
    int64_t UseAge() const { return FileAgeSeconds(NowTime, FileTimesOf(Data), LocalBias); }
};

TDirReader::TDirReader() = default;
TDirReader::~TDirReader() = default;

void TDirReader::SetDirectory(const std::wstring& Value) {
    std::wstring normalised = Value;
    if (normalised.empty() || normalised.back() != L'\\') normalised.push_back(L'\\');
    Assert(!FActive, L"使用时无法更改目录");
    Assert(!Value.empty() && DirectoryExists(normalised), L"目录不存在");
    if (normalised != FDirectory) FDirectory = std::move(normalised);
}

void TDirReader::SetMinAccessAge(int32_t Value) {
    FMinAccessAge = Value == INT32_MIN ? INT32_MAX : (Value < 0 ? -Value : Value);
}

void TDirReader::SetActive(bool Value) {
    if (Value == FActive) return;
    Assert(DirectoryExists(FDirectory), L"目录不存在");
    FActive = Value;
    if (!Value) return;

    std::exception_ptr failure;
    try {
        Walk();
    } catch (...) {
        failure = std::current_exception();
    }
    FActive = false;
    // A copy: the handler may assign OnFinished, and usually starts the next walk.
    if (TDirReaderNotifyEvent finished = OnFinished) finished(this);
    if (failure) std::rethrow_exception(failure);
}

void TDirReader::Walk() {
    TWalk walk(*this);
    FLastMessageTick = ::GetTickCount64() - MessageIntervalMs;

    if (!EnterDirectory(walk)) return;
    while (!walk.Levels.empty()) {
        TWalk::TLevel& level = walk.Levels.back();
        bool haveEntry;
        if (level.EntryPending) {
            level.EntryPending = false;
            haveEntry = true;
        } else {
            ProcessMessages();  // after the entry just handled, skipped ones included
            haveEntry = ::FindNextFileW(level.Find.Get(), &walk.Data) != FALSE;
        }
        if (!haveEntry || !FActive) {
            walk.Levels.pop_back();
            ProcessMessages();
            if (!walk.Levels.empty()) walk.Path.resize(walk.Levels.back().PathLength);
            continue;
        }
        HandleEntry(walk);
    }
}

// Reports the directory in walk.Path and opens its enumeration as a new level.
// False when the directory is excluded or yields nothing.
bool TDirReader::EnterDirectory(TWalk& walk) {
    if (walk.IsExcluded()) return false;
    if (walk.OnDirectory) walk.OnDirectory(this, walk.Path);

    const size_t length = walk.Path.size();
    TFindHandle find(::FindFirstFileExW(walk.ListingPattern(), FindExInfoBasic, &walk.Data, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        ProcessMessages();
        return false;
    }
    if (walk.MinWriteAge != 0 || walk.MinAccessAge != 0) {
        walk.NowTime = Now();
        walk.LocalBias = CurrentLocalBias();
    }
    walk.Levels.push_back(TWalk::TLevel{std::move(find), length, true});
    return true;
}

void TDirReader::HandleEntry(TWalk& walk) {
    if (GDirEntryHook) GDirEntryHook(walk.Path, walk.Data);
    const WIN32_FIND_DATAW& data = walk.Data;
    const TDirEntryKind kind = ClassifyDirEntry(data, walk.Recursive);
    if (kind == TDirEntryKind::Skip) return;
    const size_t length = walk.Path.size();
    if (kind == TDirEntryKind::Directory) {
        walk.Path.append(data.cFileName);
        walk.Path.push_back(L'\\');
        // On success the new level owns the longer path until it is closed.
        if (!EnterDirectory(walk)) walk.Path.resize(length);
        return;
    }
    if (!PassesFilters(walk)) return;
    walk.Path.append(data.cFileName);
    FCurrentFileTimes = FileTimesOf(data);
    if (walk.OnFile) walk.OnFile(this, walk.Path);
    walk.Path.resize(length);
}

bool TDirReader::PassesFilters(const TWalk& walk) const {
    const WIN32_FIND_DATAW& data = walk.Data;
    if (!walk.AllFiles) {
        const wchar_t* dot = std::wcsrchr(data.cFileName, L'.');
        const wchar_t* extension = dot ? dot : L"";
        if (!EqualsUpper(extension, std::wcslen(extension), walk.MaskExtension)) return false;
    }
    if (walk.MinWriteAge != 0 && walk.WriteAge() < walk.MinWriteAge) return false;
    if (walk.MinAccessAge != 0 && walk.UseAge() < walk.MinAccessAge) return false;
    return true;
}

void TDirReader::ProcessMessages() {
    const uint64_t now = ::GetTickCount64();
    if (now - FLastMessageTick < MessageIntervalMs) return;
    FLastMessageTick = now;
    ProcessPendingMessages();
}
