#include "engine/OrvDirectoryReader.h"
#include "texts/Texts.h"

#include "engine/CloudFiles.h"
#include "engine/DateTime.h"
#include "engine/Exceptions.h"
#include "engine/FolderPaths.h"
#include "engine/Masks.h"
#include "engine/PlaceholderMode.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cwchar>
#include <exception>
#include <memory>
#include <new>
#include <set>
#include <unordered_set>

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

// Path (a folder below Root, trailing backslash) followed by "*", as the system
// must see it to list that folder: below LiteralRoot when there is one.
const wchar_t* ListingPattern(const std::wstring& path, size_t rootLength, const std::wstring& literalRoot,
                              std::wstring& buffer) {
    if (literalRoot.empty()) {
        std::wstring pattern = path + L'*';
        const wchar_t* system = SystemPath(pattern, buffer);
        if (system != buffer.c_str()) buffer = std::move(pattern);
        return buffer.c_str();
    }
    buffer.assign(literalRoot).append(path, rootLength, std::wstring::npos).push_back(L'*');
    return buffer.c_str();
}

TAllocationFailureForTesting GAllocationFailure = nullptr;

// Tests: throws as an allocation there would when the test's seam says so.
void AllocationPoint(const char* where) {
    if (GAllocationFailure != nullptr && GAllocationFailure(where)) throw std::bad_alloc();
}

}  // namespace

// Folders never entered, in every spelling, each with a trailing backslash,
// held by their upper-cased text: a look-up costs one hash of the walked
// folder's path, however many folders are excluded. The walk never enters
// anything below an excluded folder, so the folder itself is all it asks for.
class TExcludedFolders {
public:
    // False when Folder (trailing backslash) was there already, in any letter case.
    bool Add(const std::wstring& folder) { return FKeys.insert(Key(folder)).second; }
    bool Contains(const std::wstring& path) const { return !FKeys.empty() && FKeys.count(Key(path)) != 0; }
    bool operator==(const TExcludedFolders& other) const { return FKeys == other.FKeys; }

private:
    // The letter case CompareStringOrdinal ignores: the system's simple upper
    // case of each unit, locale-free.
    static std::wstring Key(const std::wstring& path) {
        std::wstring key(path);
        // Most paths are ASCII: upper-cased here, where the system's call costs more than the look-up.
        bool ascii = true;
        for (wchar_t& c : key) {
            if (c >= 0x80) {
                ascii = false;
                break;
            }
            c = UpperAscii(c);
        }
        if (ascii) return key;
        key = path;
        if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(),
                                            static_cast<int>(path.size()), key.data(), static_cast<int>(key.size()),
                                            nullptr, nullptr, 0) != static_cast<int>(path.size()))
            key = UpperCaseAscii(path);
        return key;
    }

    std::unordered_set<std::wstring> FKeys;
};

namespace {

bool IsExcludedFolder(const TExcludedFolders& excluded, const std::wstring& path) { return excluded.Contains(path); }

// Pending window messages are handled this often while the excluded folders
// are spelt out: a hand-made list of 100,000 takes seconds.
constexpr uint64_t SpellingMessageIntervalMs = 15;

// Listing folders is the file system's work per entry (under Wine, the Unix
// side's), so it spreads over the processors; beyond eight threads a disk has
// nothing more to give and the memory read ahead only grows.
constexpr int MaxReadAheadThreads = 8;

int ReadAheadThreads(int requested) {
    if (requested > 0) return std::min(requested, MaxReadAheadThreads);
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return std::clamp(static_cast<int>(info.dwNumberOfProcessors), 1, MaxReadAheadThreads);
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

void SetAllocationFailureForTesting(TAllocationFailureForTesting Failure) { GAllocationFailure = Failure; }

// Lists the folders of one or more trees on a few threads, ahead of the walk
// that replays them. The walk's own thread keeps every event; the threads only
// read, into a buffer per folder, in the order the walk will want them: depth
// first, by each folder's place in its parent's listing. What they hold read
// and not yet walked stays within ReadAheadBytes, save the folder the walk is
// waiting for, which is always read. With several trees (drives), the threads
// beyond the first also read the next trees while those hold less than half of
// that memory, so several drives are read at the same time.
class TFolderReadAhead {
public:
    // A file of a listing, or a folder to enter (NameLength 0): the next of
    // the listing's Subfolders.
    struct TEntry {
        uint32_t NameOffset;
        uint32_t NameLength;
        TFileTimes Times;
    };

    struct TFolder {
        std::wstring Path;  // trailing backslash
        TFolder* Parent;
        uint32_t Index;  // among the parent's Subfolders
        uint32_t Depth;
        size_t Root;
        // Written by the thread that lists the folder, read by the walk once Ready.
        bool Listed = false;  // false: the folder could not be listed
        std::vector<TEntry> Entries;
        std::wstring Names;  // the files' names, each ended by a zero
        std::vector<std::unique_ptr<TFolder>> Subfolders;
        size_t Bytes = 0;
        int State = Pending;  // under the lock
        std::atomic<bool> Ready{false};

        TFolder(std::wstring path, TFolder* parent, uint32_t index, size_t root)
            : Path(std::move(path)), Parent(parent), Index(index), Depth(parent ? parent->Depth + 1 : 0), Root(root) {}
    };

    TFolderReadAhead(std::vector<std::wstring> roots, std::shared_ptr<const TExcludedFolders> excluded)
        : FRoots(std::move(roots)), FExcluded(std::move(excluded)), FPending(FRoots.size()), FRootBytes(FRoots.size()) {
        for (size_t i = 0; i < FRoots.size(); ++i) {
            FLiteralRoots.push_back(LiteralRoot(FRoots[i]));
            if (IsExcludedFolder(*FExcluded, FRoots[i])) {
                FRootFolders.emplace_back();
                continue;
            }
            FRootFolders.push_back(std::make_unique<TFolder>(FRoots[i], nullptr, 0, i));
            FPending[i].insert(FRootFolders.back().get());
        }
    }
    TFolderReadAhead(const TFolderReadAhead&) = delete;
    TFolderReadAhead& operator=(const TFolderReadAhead&) = delete;

    // Starts Threads threads, each holding the read-ahead until it ends.
    static std::shared_ptr<TFolderReadAhead> Start(std::vector<std::wstring> roots,
                                                   std::shared_ptr<const TExcludedFolders> excluded, int threads) {
        auto ahead = std::make_shared<TFolderReadAhead>(std::move(roots), std::move(excluded));
        for (int i = 0; i < threads; ++i) {
            auto* start = new TThreadStart{ahead, static_cast<size_t>(i)};
            // A small stack: a thread lists one folder at a time, without recursion.
            HANDLE thread = ::CreateThread(nullptr, 256 * 1024, ThreadMain, start, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                           nullptr);
            if (thread == nullptr) {
                delete start;
                if (i == 0) return nullptr;  // the walk reads the folders itself
                break;
            }
            ::CloseHandle(thread);
        }
        return ahead;
    }

    // True when the next tree to walk is Root, read with these exclusions.
    bool Serves(const std::wstring& root, const std::shared_ptr<const TExcludedFolders>& excluded) const {
        return FFirst < FRoots.size() && FRoots[FFirst] == root && (FExcluded == excluded || *FExcluded == *excluded);
    }

    // The next tree's top folder; null when it is excluded.
    TFolder* FirstRoot() const { return FFirst < FRootFolders.size() ? FRootFolders[FFirst].get() : nullptr; }

    // Waits at most TimeoutMs for Folder to be listed; true when it is.
    bool WaitListed(TFolder* folder, DWORD timeoutMs) {
        if (folder->Ready.load(std::memory_order_acquire)) return true;
        ::AcquireSRWLockExclusive(&FLock);
        if (folder->State != Listed) {
            // Woken once Batch more folders are listed, not at each: every
            // wake-up is a round trip through the system.
            FWanted = folder;
            FWakeAt = FListedCount + Batch;
            if (FIdle > 0) ::WakeAllConditionVariable(&FWork);  // it may be held back by the memory bound
            ::SleepConditionVariableSRW(&FWaiting, &FLock, timeoutMs, 0);
            // Only while the walk waits: it may free the folder afterwards.
            if (FWanted == folder) FWanted = nullptr;
        }
        const bool listed = folder->State == Listed;
        ::ReleaseSRWLockExclusive(&FLock);
        return listed;
    }

    // The walk is done with Folder and everything below it.
    void Done(TFolder* folder) {
        std::vector<TEntry> entries;
        std::wstring names;
        std::vector<std::unique_ptr<TFolder>> subfolders;
        std::unique_ptr<TFolder> self;
        ::AcquireSRWLockExclusive(&FLock);
        const bool wasFull = FBytes >= ReadAheadBytes;
        FBytes -= folder->Bytes;
        FRootBytes[folder->Root] -= folder->Bytes;
        folder->Bytes = 0;
        entries.swap(folder->Entries);
        names.swap(folder->Names);
        subfolders.swap(folder->Subfolders);
        // Nothing waiting to be read lies below it, so nothing refers to it any more.
        if (folder->Parent)
            self = std::move(folder->Parent->Subfolders[folder->Index]);
        else
            self = std::move(FRootFolders[folder->Root]);
        if (wasFull && FBytes < ReadAheadBytes && FIdle > 0) ::WakeAllConditionVariable(&FWork);
        ::ReleaseSRWLockExclusive(&FLock);
        // Freed outside the lock.
    }

    // The first tree was walked to its end: the next one comes next.
    // False when none is left.
    bool FinishRoot() {
        ::AcquireSRWLockExclusive(&FLock);
        std::unique_ptr<TFolder> root = std::move(FRootFolders[FFirst]);
        ++FFirst;
        const bool more = FFirst < FRoots.size();
        ::ReleaseSRWLockExclusive(&FLock);
        return more;
    }

    bool Cancelled() const { return FCancelled.load(std::memory_order_relaxed); }

    // Ends the threads; a folder being listed is left at its next entry.
    void Cancel() {
        ::AcquireSRWLockExclusive(&FLock);
        CancelLocked();
        ::ReleaseSRWLockExclusive(&FLock);
    }

private:
    enum { Pending, Reading, Listed };
    // Read and not yet walked, beyond which only the folder the walk waits for is read.
    static constexpr size_t ReadAheadBytes = 4 * 1024 * 1024;
    static constexpr uint64_t Batch = 32;

    struct TThreadStart {
        std::shared_ptr<TFolderReadAhead> Ahead;
        size_t Index;
    };

    // Depth-first order within one tree: a folder before everything below it,
    // otherwise as the branches that hold them stand in their common folder.
    struct TWalkOrder {
        bool operator()(const TFolder* a, const TFolder* b) const {
            const TFolder* x = a;
            const TFolder* y = b;
            while (x->Depth > y->Depth) x = x->Parent;
            while (y->Depth > x->Depth) y = y->Parent;
            if (x == y) return a->Depth < b->Depth;
            while (x->Parent != y->Parent) {
                x = x->Parent;
                y = y->Parent;
            }
            return x->Index < y->Index;
        }
    };

    static DWORD WINAPI ThreadMain(void* parameter) {
        std::unique_ptr<TThreadStart> start(static_cast<TThreadStart*>(parameter));
        try {
            ExposePlaceholdersOnThisThread();
            start->Ahead->Work(start->Index);
        } catch (...) {
            // Out of memory, never with the lock held (see Work): the walk
            // ends with it, as it would have on its own thread.
            start->Ahead->Cancel();
        }
        return 0;
    }

    // Under the lock. The folder the walk waits for comes first, whatever the
    // memory; then, within the bound, the first folder of the first tree, or of
    // the next trees for the threads beyond the first.
    TFolder* Take(size_t worker) {
        TFolder* folder = nullptr;
        if (FWanted != nullptr && FWanted->State == Pending)
            folder = FWanted;
        else if (FBytes < ReadAheadBytes)
            folder = FirstPending(worker);
        if (folder == nullptr) return nullptr;
        FPending[folder->Root].erase(folder);
        folder->State = Reading;
        return folder;
    }

    TFolder* FirstPending(size_t worker) {
        size_t waiting = 0, ahead = 0;
        for (size_t root = FFirst; root < FRoots.size(); ++root) {
            waiting += FPending[root].empty() ? 0 : 1;
            if (root > FFirst) ahead += FRootBytes[root];
        }
        if (waiting == 0) return nullptr;
        // This thread's tree among those with folders to read; the first when
        // the next trees already hold their share of the memory.
        size_t turn = ahead >= ReadAheadBytes / 2 ? 0 : worker % waiting;
        for (size_t root = FFirst; root < FRoots.size(); ++root)
            if (!FPending[root].empty() && turn-- == 0) return *FPending[root].begin();
        return nullptr;
    }

    void Work(size_t worker) {
        std::wstring buffer;
        WIN32_FIND_DATAW data;
        ::AcquireSRWLockExclusive(&FLock);
        while (!FCancelled.load(std::memory_order_relaxed)) {
            TFolder* folder = Take(worker);
            if (folder == nullptr) {
                ++FIdle;
                ::SleepConditionVariableSRW(&FWork, &FLock, INFINITE, 0);
                --FIdle;
                continue;
            }
            ++FBusy;
            ::ReleaseSRWLockExclusive(&FLock);
            // May throw (out of memory): the lock is not held here.
            List(*folder, buffer, data);
            ::AcquireSRWLockExclusive(&FLock);
            --FBusy;
            if (!AddPending(*folder)) {
                // Out of memory under the lock: cancelled here, where the
                // lock is held, never by a handler that would take it again.
                CancelLocked();
                break;
            }
            FBytes += folder->Bytes;
            FRootBytes[folder->Root] += folder->Bytes;
            folder->State = Listed;
            folder->Ready.store(true, std::memory_order_release);
            ++FListedCount;
            if (!folder->Subfolders.empty() && FIdle > 0) ::WakeAllConditionVariable(&FWork);
            if (FWanted != nullptr && FWanted->State == Listed &&
                (FListedCount >= FWakeAt || FBusy == 0 || FBytes >= ReadAheadBytes ||
                 FFirst >= FRoots.size() || FPending[FFirst].empty())) {
                FWanted = nullptr;
                ::WakeConditionVariable(&FWaiting);
            }
        }
        ::ReleaseSRWLockExclusive(&FLock);
    }

    // Under the lock: Folder's subfolders join the folders to read. False when
    // memory ran out; nothing may throw while the lock is held.
    bool AddPending(TFolder& folder) noexcept {
        try {
            for (const auto& subfolder : folder.Subfolders) {
                AllocationPoint("read-ahead pending");
                FPending[folder.Root].insert(subfolder.get());
            }
            return true;
        } catch (...) {
            return false;
        }
    }

    void CancelLocked() {
        FCancelled.store(true, std::memory_order_relaxed);
        ::WakeAllConditionVariable(&FWork);
        ::WakeAllConditionVariable(&FWaiting);
    }

    // Lists Folder into its buffers: the entries the walk will see, with the
    // same rule the walk applies, excluded folders left out.
    void List(TFolder& folder, std::wstring& buffer, WIN32_FIND_DATAW& data) {
        TFindHandle find(::FindFirstFileExW(ListingPattern(folder.Path, FRoots[folder.Root].size(),
                                                           FLiteralRoots[folder.Root], buffer),
                                            FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                            FIND_FIRST_EX_LARGE_FETCH));
        size_t bytes = sizeof(TFolder) + folder.Path.capacity() * sizeof(wchar_t);
        if (find) {
            folder.Listed = true;
            do {
                if (FCancelled.load(std::memory_order_relaxed)) break;
                const TDirEntryKind kind = ClassifyDirEntry(data, true);
                if (kind == TDirEntryKind::Skip) continue;
                if (kind == TDirEntryKind::Directory) {
                    std::wstring path = folder.Path + data.cFileName;
                    path.push_back(L'\\');
                    if (IsExcludedFolder(*FExcluded, path)) continue;
                    AllocationPoint("read-ahead listing");
                    bytes += sizeof(TFolder) + path.capacity() * sizeof(wchar_t);
                    folder.Subfolders.push_back(std::make_unique<TFolder>(
                        std::move(path), &folder, static_cast<uint32_t>(folder.Subfolders.size()), folder.Root));
                    folder.Entries.push_back(TEntry{0, 0, {}});
                    continue;
                }
                const size_t length = std::wcslen(data.cFileName);
                folder.Entries.push_back(TEntry{static_cast<uint32_t>(folder.Names.size()),
                                                static_cast<uint32_t>(length), FileTimesOf(data)});
                folder.Names.append(data.cFileName, length + 1);
            } while (::FindNextFileW(find.Get(), &data));
        }
        folder.Bytes = bytes + folder.Entries.capacity() * sizeof(TEntry) + folder.Names.capacity() * sizeof(wchar_t) +
                       folder.Subfolders.capacity() * sizeof(void*);
    }

    const std::vector<std::wstring> FRoots;
    std::vector<std::wstring> FLiteralRoots;  // see LiteralRoot
    const std::shared_ptr<const TExcludedFolders> FExcluded;
    SRWLOCK FLock = SRWLOCK_INIT;
    CONDITION_VARIABLE FWork = CONDITION_VARIABLE_INIT;     // threads waiting for a folder to list
    CONDITION_VARIABLE FWaiting = CONDITION_VARIABLE_INIT;  // the walk waiting for FWanted
    std::atomic<bool> FCancelled{false};
    size_t FFirst = 0;
    std::vector<std::unique_ptr<TFolder>> FRootFolders;
    std::vector<std::set<TFolder*, TWalkOrder>> FPending;
    std::vector<size_t> FRootBytes;
    size_t FBytes = 0;
    int FIdle = 0, FBusy = 0;
    TFolder* FWanted = nullptr;
    uint64_t FListedCount = 0, FWakeAt = 0;
};

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
    std::shared_ptr<const TExcludedFolders> Excluded;  // see TDirReader::ExcludedForWalk
    TDirReaderFileEvent OnFile;
    TDirReaderDirectoryEvent OnDirectory;
    bool Recursive = false;
    int32_t MinWriteAge = 0;
    int32_t MinAccessAge = 0;
    int Threads = 1;

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
          MinAccessAge(reader.FMinAccessAge),
          Threads(ReadAheadThreads(reader.Threads)) {
        Path.reserve(MAX_PATH);
        Path = reader.FDirectory;
        RootLength = Path.size();
        LiteralRoot = ::LiteralRoot(Path);
    }
    TWalk(const TWalk&) = delete;
    TWalk& operator=(const TWalk&) = delete;

    ~TWalk() {
        // Deepest enumeration first, as the recursion they stand for would close them.
        while (!Levels.empty()) Levels.pop_back();
    }

    void RefreshNow() {
        if (MinWriteAge != 0 || MinAccessAge != 0) {
            NowTime = Now();
            LocalBias = CurrentLocalBias();
        }
    }

    // The file mask and the age filters, for a file of the folder being read.
    bool PassesFilters(const wchar_t* name, const TFileTimes& times) const {
        if (!AllFiles) {
            const wchar_t* dot = std::wcsrchr(name, L'.');
            const wchar_t* extension = dot ? dot : L"";
            if (!EqualsUpper(extension, std::wcslen(extension), MaskExtension)) return false;
        }
        if (MinWriteAge != 0 && FileTimeAgeSeconds(NowTime, times.LastWrite, LocalBias) < MinWriteAge) return false;
        if (MinAccessAge != 0 && FileAgeSeconds(NowTime, times, LocalBias) < MinAccessAge) return false;
        return true;
    }
};

TDirReader::TDirReader() = default;
TDirReader::~TDirReader() { DropReadAhead(); }

void TDirReader::SetDirectory(const std::wstring& Value) {
    std::wstring normalised = Value;
    if (normalised.empty() || normalised.back() != L'\\') normalised.push_back(L'\\');
    Assert(!FActive, LoadText(TTextId::ErrorDirectoryInUse).c_str());
    Assert(!Value.empty() && DirectoryExists(normalised), LoadText(TTextId::ErrorDirectoryMissing).c_str());
    if (normalised != FDirectory) FDirectory = std::move(normalised);
}

void TDirReader::SetMinAccessAge(int32_t Value) {
    FMinAccessAge = Value == INT32_MIN ? INT32_MAX : (Value < 0 ? -Value : Value);
}

void TDirReader::SetActive(bool Value) {
    if (Value == FActive) return;
    Assert(DirectoryExists(FDirectory), LoadText(TTextId::ErrorDirectoryMissing).c_str());
    FActive = Value;
    if (!Value) {
        // Stopped: what was read ahead will not be walked.
        DropReadAhead();
        return;
    }

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

void TDirReader::DropReadAhead() {
    if (!FReadAhead) return;
    FReadAhead->Cancel();
    FReadAhead.reset();
}

// The excluded folders as the walk compares them: each as typed, and as the
// walk would meet it, in its long form (a short name, "/", "..", doubled
// separators resolved) and where a link on its way leads - the walk never
// passes a link, it reaches that place by its own path. Spelling them out asks
// the file system about each, so the drives of one pass share the answer;
// another pass, or another list, spells them again. Window messages are
// handled meanwhile; null when the walk was stopped from one of them.
std::shared_ptr<const TExcludedFolders> TDirReader::ExcludedForWalk() {
    if (FExcluded && FDirectory == FExcludedNextRoot && FExcludedSource == FExcludedDirectories) return FExcluded;
    const std::vector<std::wstring> source = FExcludedDirectories;
    auto excluded = std::make_shared<TExcludedFolders>();
    uint64_t lastMessages = ::GetTickCount64();
    TFolderSpeller speller;
    for (const std::wstring& entry : source) {
        const std::wstring typed = WithTrailingBackslash(entry);
        bool typedAdded = false;
        for (const auto& spelling : speller.Spellings(entry)) {
            std::wstring folder = WithTrailingBackslash(spelling);
            typedAdded = typedAdded || folder == typed;
            excluded->Add(folder);
        }
        if (!typedAdded) excluded->Add(typed);
        if (::GetTickCount64() - lastMessages >= SpellingMessageIntervalMs) {
            ProcessPendingMessages();
            lastMessages = ::GetTickCount64();
            if (!FActive) return nullptr;
        }
    }
    FExcluded = excluded;
    FExcludedSource = source;
    FExcludedNextRoot = FDirectory;
    return excluded;
}

void TDirReader::Walk() {
    ExposePlaceholdersOnThisThread();
    TWalk walk(*this);
    walk.Excluded = ExcludedForWalk();
    if (!walk.Excluded) return;
    // The next drive of this pass may take them as they are.
    FExcludedNextRoot = FollowingDirectories.empty() ? std::wstring() : WithTrailingBackslash(FollowingDirectories[0]);
    FLastMessageTick = ::GetTickCount64() - MessageIntervalMs;

    // A test's hook sees the entries on this thread, one at a time, as it expects.
    if (walk.Recursive && walk.Threads > 1 && !GDirEntryHook) {
        if (!FReadAhead || !FReadAhead->Serves(walk.Path, walk.Excluded)) {
            DropReadAhead();
            std::vector<std::wstring> roots{walk.Path};
            for (const auto& following : FollowingDirectories) roots.push_back(WithTrailingBackslash(following));
            FReadAhead = TFolderReadAhead::Start(std::move(roots), walk.Excluded, walk.Threads);
        }
        if (FReadAhead) {
            WalkAhead(walk);
            return;
        }
    }
    DropReadAhead();

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

// The walk over folders other threads list: the same events, in the same
// order, at the same points as the walk that reads each folder itself.
void TDirReader::WalkAhead(TWalk& walk) {
    const std::shared_ptr<TFolderReadAhead> ahead = FReadAhead;
    using TFolder = TFolderReadAhead::TFolder;
    struct TLevel {
        TFolder* Folder;
        size_t Next;       // entry
        size_t Subfolder;  // of Folder->Subfolders
        bool Started;
    };
    std::vector<TLevel> levels;
    bool completed = false;

    // Reports the folder and waits until it is listed; false when it cannot be
    // listed or the walk was stopped meanwhile.
    const auto enter = [&](TFolder* folder) {
        if (walk.OnDirectory) walk.OnDirectory(this, folder->Path);
        while (!ahead->WaitListed(folder, static_cast<DWORD>(MessageIntervalMs))) {
            ProcessMessages();
            if (!FActive) return false;
            // Its threads gave up (out of memory), as this thread would have.
            if (ahead->Cancelled()) throw std::bad_alloc();
        }
        if (!folder->Listed) {
            ahead->Done(folder);
            ProcessMessages();
            return false;
        }
        walk.RefreshNow();
        levels.push_back(TLevel{folder, 0, 0, false});
        return true;
    };

    try {
        TFolder* root = ahead->FirstRoot();
        if (root != nullptr && !IsExcludedFolder(*walk.Excluded, walk.Path) && enter(root)) {
            while (!levels.empty()) {
                // After the entry just handled; a level's first entry comes at once.
                if (levels.back().Started)
                    ProcessMessages();
                else
                    levels.back().Started = true;
                TLevel& level = levels.back();
                TFolder* folder = level.Folder;
                if (level.Next >= folder->Entries.size() || !FActive) {
                    levels.pop_back();
                    if (FActive) ahead->Done(folder);
                    ProcessMessages();
                    continue;
                }
                const TFolderReadAhead::TEntry& entry = folder->Entries[level.Next++];
                if (entry.NameLength == 0) {
                    enter(folder->Subfolders[level.Subfolder++].get());
                    continue;
                }
                const wchar_t* name = folder->Names.data() + entry.NameOffset;
                if (!walk.PassesFilters(name, entry.Times)) continue;
                walk.Path.assign(folder->Path).append(name, entry.NameLength);
                FCurrentFileTimes = entry.Times;
                if (walk.OnFile) walk.OnFile(this, walk.Path);
            }
        }
        completed = FActive;
    } catch (...) {
        if (FReadAhead == ahead) DropReadAhead();
        throw;
    }
    // Stopped: already dropped. Walked to the end: the next drive may follow.
    if (FReadAhead == ahead && !(completed && ahead->FinishRoot())) DropReadAhead();
}

// Reports the directory in walk.Path and opens its enumeration as a new level.
// False when the directory is excluded or yields nothing.
bool TDirReader::EnterDirectory(TWalk& walk) {
    if (IsExcludedFolder(*walk.Excluded, walk.Path)) return false;
    if (walk.OnDirectory) walk.OnDirectory(this, walk.Path);
    AllocationPoint("walk");

    const size_t length = walk.Path.size();
    TFindHandle find(::FindFirstFileExW(ListingPattern(walk.Path, walk.RootLength, walk.LiteralRoot, walk.SystemPathBuffer),
                                        FindExInfoBasic, &walk.Data, FindExSearchNameMatch, nullptr,
                                        FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        ProcessMessages();
        return false;
    }
    walk.RefreshNow();
    walk.Levels.push_back(TWalk::TLevel{std::move(find), length, true});
    return true;
}

void TDirReader::HandleEntry(TWalk& walk) {
    const WIN32_FIND_DATAW& data = walk.Data;
    if (GDirEntryHook) GDirEntryHook(walk.Path, walk.Data);
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
    const TFileTimes times = FileTimesOf(data);
    if (!walk.PassesFilters(data.cFileName, times)) return;
    walk.Path.append(data.cFileName);
    FCurrentFileTimes = times;
    if (walk.OnFile) walk.OnFile(this, walk.Path);
    walk.Path.resize(length);
}

void TDirReader::ProcessMessages() {
    const uint64_t now = ::GetTickCount64();
    if (now - FLastMessageTick < MessageIntervalMs) return;
    FLastMessageTick = now;
    ProcessPendingMessages();
}
