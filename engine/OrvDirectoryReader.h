// TDirReader walks a directory tree depth first and reports, through events,
// every directory it enters and every file that passes its filters.
//
// The walk runs on the caller's thread and lets the application process
// pending window messages as it goes (ProcessPendingMessages), so a window
// command may call Stop, read the properties, or, once the walk is no longer
// Active, start a new walk that runs nested inside the old one's call.
//
// A recursive walk has its folders listed ahead of it by a few threads (one
// per processor, at most eight; see Threads), which read several folders at
// once; the events still come on the caller's thread, one at a time, in the
// very order a walk on that thread alone gives.
#pragma once

#include "engine/SystemRoutines.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDirReader;
class TExcludedFolders;
class TFolderReadAhead;


using TDirReaderFileEvent = std::function<void(TDirReader* Sender, const std::wstring& FileName)>;
using TDirReaderDirectoryEvent = std::function<void(TDirReader* Sender, const std::wstring& DirName)>;
using TDirReaderNotifyEvent = std::function<void(TDirReader* Sender)>;

// What the walk does with one entry of a listing. Pure and free of state, so
// any number of threads may ask at once: the walking thread and those that
// list folders ahead of it decide by this alone.
enum class TDirEntryKind { Skip, Directory, File };
// Skipped: "." and "..", names no Windows name can hold (IsForeignEntryName),
// entries whose content lives elsewhere (IsContentElsewhere: cloud placeholders,
// recalled or offline files, and every folder with a cloud tag, so nothing below
// one is found), and folders that are links or that Recursive leaves out.
// A File still has to pass the mask and age filters.
TDirEntryKind ClassifyDirEntry(const WIN32_FIND_DATAW& Data, bool Recursive);

// Tests: a function that may change each listed entry (its directory with a
// trailing backslash, the entry) before the walk looks at it, as a system with
// cloud files would list it. Empty: none. Set only while no walk runs. While
// one is set, walks list every folder on their own thread.
using TDirEntryHookForTesting = std::function<void(const std::wstring& Directory, WIN32_FIND_DATAW& Data)>;
void SetDirEntryHookForTesting(TDirEntryHookForTesting Hook);

// Tests: asked at the places where a walk allocates (Where: "walk" as the
// walk's thread enters a folder, "read-ahead listing" as a thread lists one,
// "read-ahead pending" as it queues the subfolders it found, under its lock);
// true makes that allocation fail (std::bad_alloc). Null: none. Set only while
// no walk runs.
using TAllocationFailureForTesting = bool (*)(const char* Where);
void SetAllocationFailureForTesting(TAllocationFailureForTesting Failure);

class TDirReader {
public:
    TDirReader();
    ~TDirReader();
    TDirReader(const TDirReader&) = delete;
    TDirReader& operator=(const TDirReader&) = delete;

    // Root of the walk, always with a trailing backslash. Raises EAssertionFailed
    // "使用时无法更改目录" during a walk and "目录不存在" for an empty or missing directory.
    const std::wstring& Directory() const { return FDirectory; }
    void SetDirectory(const std::wstring& Value);

    // "*.*" reports every file; anything else reports the files whose extension
    // (from the last dot, compared in upper case) equals the mask's, so the empty
    // mask reports only files without an extension.
    std::wstring FileMask;

    // True while a walk runs. Setting it true walks Directory and returns when the
    // walk has ended; setting it false during a walk ends the walk at its next entry.
    // Raises EAssertionFailed "目录不存在" when Directory does not exist (either way).
    bool Active() const { return FActive; }
    void SetActive(bool Value);

    bool Recursive = false;
    // Seconds; when not 0, files written (MinWriteAge) or used (MinAccessAge: the
    // latest of the last-access, last-write and creation times, see FileAgeSeconds)
    // less long ago are not reported. Ages are taken at the file times' full
    // precision; time stamps in the future count as that far in the past.
    int32_t MinWriteAge = 0;
    int32_t MinAccessAge() const { return FMinAccessAge; }
    // Stores the absolute value (the most negative value becomes INT32_MAX).
    void SetMinAccessAge(int32_t Value);

    // Directories the walk never enters, nor anything below them; compared without
    // regard to letter case, in their long form and where a link on their way leads
    // (engine/FolderPaths.h) as well as as given. Read when a walk starts; the
    // look-up costs the same however many there are.
    std::vector<std::wstring>& ExcludedDirectories() { return FExcludedDirectories; }
    const std::vector<std::wstring>& ExcludedDirectories() const { return FExcludedDirectories; }

    // The handlers a walk calls are those assigned when it starts. The file and
    // directory names passed are only valid during the call.
    TDirReaderFileEvent OnFile;            // full path of a file that passed the filters
    TDirReaderDirectoryEvent OnDirectory;  // full path, trailing backslash, of a directory entered
    // Once per walk, after Active became false, whether the walk ran to its end, was
    // stopped or was ended by an exception (which then continues to Start's caller).
    TDirReaderNotifyEvent OnFinished;

    // The times (UTC) of the file OnFile is reporting; valid only during that
    // call. Saves the handler a second look at the file.
    const TFileTimes& CurrentFileTimes() const { return FCurrentFileTimes; }

    // Threads that list folders ahead of a recursive walk: 0 (the default) for
    // one per processor, at most eight; 1 for none, the walk reading every folder
    // itself. Read when a walk starts. The events are the same either way.
    int Threads = 0;

    // The folders the walks after this one will read, in order (the other drives
    // of a complete scan). Their reading starts during this walk, within the same
    // memory, and the next walk takes up what was read when it starts on the first
    // of them with the same settings. Read when a walk starts.
    std::vector<std::wstring> FollowingDirectories;

    // Does nothing while a walk runs.
    void Start() { SetActive(true); }
    void Stop() { SetActive(false); }

private:
    struct TWalk;

    void Walk();
    void WalkAhead(TWalk& walk);
    bool EnterDirectory(TWalk& walk);
    void HandleEntry(TWalk& walk);
    void ProcessMessages();
    void DropReadAhead();
    std::shared_ptr<const TExcludedFolders> ExcludedForWalk();

    std::wstring FDirectory;
    bool FActive = false;
    int32_t FMinAccessAge = 0;
    std::vector<std::wstring> FExcludedDirectories;
    // The excluded folders spelt out, for FExcludedSource, and the root of the
    // walk that may take them as they are (the next drive of the same pass).
    std::shared_ptr<const TExcludedFolders> FExcluded;
    std::vector<std::wstring> FExcludedSource;
    std::wstring FExcludedNextRoot;
    uint64_t FLastMessageTick = 0;
    TFileTimes FCurrentFileTimes{};
    // The folders read ahead for this walk and the following ones; dropped when
    // a walk is stopped or ends in an exception.
    std::shared_ptr<TFolderReadAhead> FReadAhead;
};
