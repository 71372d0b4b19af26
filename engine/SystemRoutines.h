// The system routines that actions, the driver and the windows share.
#pragma once

#include "engine/DateTime.h"
#include "engine/DriveAliases.h"

// <windows.h> defines ClearEventLog as a macro for ClearEventLogW. Included here
// first, so the macro can be dropped once and for all and our ClearEventLog keeps
// its name in every file, whatever it includes after this header.
#include <windows.h>
#undef ClearEventLog

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// --- Clock seam: production reads the system clock; tests may set both. ---
using TNowFunction = TDateTime (*)();
using TTickFunction = uint64_t (*)();
// Null restores the system clock. A test clock comes without a logon time (the
// real one means nothing against it) until SetLogonTimeForTesting gives one.
void SetClockForTesting(TNowFunction now, TTickFunction ticks);
// The current local date-time.
TDateTime Now();

// The logon time of the user this process runs as (UTC); false when it is not known.
using TLogonTimeFunction = bool (*)(FILETIME& logonUtc);
// Null restores the system's answer (or none, while a test clock is set).
void SetLogonTimeForTesting(TLogonTimeFunction logonTime);

// Seconds since the Windows session began: the later of the start of Windows and
// the user's logon. Fast Startup hibernates the system at shut-down instead of
// ending it, so the start can be weeks old while the user logged on this morning;
// the logon comes from LSA for the process's logon session, and counts only for a
// logon at the screen (local, remote or cached). Where it cannot be read, or lies
// after the clock's now, the start of Windows counts alone. Read from the 64-bit
// tick counter, so the value stays positive beyond 24.8 days.
int32_t GetUptimeSeconds();
// The decision itself: UptimeSeconds since the start of Windows, the logon time
// (null when not known) against the local moment Now and the zone's LocalBias
// (CurrentLocalBias).
int64_t SessionSeconds(int64_t UptimeSeconds, const FILETIME* LogonUtc, TDateTime Now, int64_t LocalBias);
// True for the logon types (SECURITY_LOGON_TYPE) of a user at the screen: at the
// machine, through Remote Desktop, either with cached credentials. A batch, service
// or network logon begins with the process itself, not with the programs whose
// files the session rule keeps; SYSTEM's session has no type.
bool IsScreenLogonType(unsigned long LogonType);

// --- File times and ages ---
// The times a file's age counts from (UTC). Windows Vista and later often leave
// last-access times alone (NTFS's default), so a file written a minute ago can
// show an access weeks old: the age counts from the latest of the three.
struct TFileTimes {
    FILETIME Creation{};
    FILETIME LastAccess{};
    FILETIME LastWrite{};
    // The size comes with the times in every directory entry; kept beside them
    // so that a found file's size needs no second look either.
    uint64_t Size = 0;
};
TFileTimes FileTimesOf(const WIN32_FIND_DATAW& data);
// The file's times. Raises Exception "无法读取上一次访问文件的时间。" CR LF FileName
// when the file cannot be found.
TFileTimes GetFileTimes(const std::wstring& fileName);
// The file's last-access time as local time, to the millisecond. Raises as GetFileTimes.
TDateTime GetFileLastAccessTime(const std::wstring& fileName);
// A file time (UTC) as local time, to the millisecond.
TDateTime LocalTimeFromFileTime(const FILETIME& utc);

// Local time minus UTC now, in FILETIME units: what FileTimeToLocalFileTime adds
// to any stamp, whatever its date.
int64_t CurrentLocalBias();
// Whole seconds between the local moment Now and a file time (UTC, made local by
// adding LocalBias), at the file time's full precision. A time in the future
// counts as that far in the past.
int64_t FileTimeAgeSeconds(TDateTime Now, const FILETIME& Utc, int64_t LocalBias);
// A file's age: the smallest age FileTimeAgeSeconds gives its three times, which
// is the age of the latest of them when none lies in the future. So a file is
// never older than any one of its times says.
int64_t FileAgeSeconds(TDateTime Now, const TFileTimes& Times, int64_t LocalBias);

// --- The program's windows, for calls that need an owner. ---
struct HWND__;
void SetApplicationWindows(HWND__* applicationWindow, HWND__* mainWindow);
// The hidden window that owns the program's forms (null before it exists).
HWND__* ApplicationWindow();
// The main form (null before it exists and after it is destroyed).
HWND__* ApplicationMainWindow();

// --- Registry ---
struct HKEY__;
// Deletes every value of KeyPath under RootKey; subkeys and the key stay.
// A key that cannot be opened and values that cannot be deleted are passed over.
void DeleteRegistryValues(HKEY__* rootKey, const std::wstring& keyPath);
// True when KeyPath can be opened for reading under RootKey, in the 64-bit or
// the 32-bit registry view.
bool RegistryKeyExists(HKEY__* rootKey, const std::wstring& keyPath);

// --- Drives and folders ---
// The roots ("C:\") of the fixed drives whose root reads as a directory, in
// letter order, without the drives that are another name for a folder
// (IsFolderAlias): their files are read through the drive that holds the folder.
void GetFixedDrives(std::vector<std::wstring>& List);
// What the system tells about drive Letter's root, for IsFolderAlias. Fields the
// system does not answer stay empty.
TDriveRootFacts ReadDriveRootFacts(wchar_t Letter);
// These folders come in the spelling the walk reports (engine/FolderPaths.h:
// WalkFolderPath): long names, not short 8.3 ones, "." and ".." resolved.
// The temporary folder, with a trailing backslash. Not yet checked: a folder that
// is to be emptied goes through TemporaryFolderToEmpty (engine/TemporaryFolders.h).
std::wstring GetTempDirectory();
// The Windows folder, with a trailing backslash; raises EOSError when the system gives none.
std::wstring GetWindowsDir();
// The special folder of CSIDL with a trailing backslash, or empty when the system has none.
std::wstring GetSpecialFolder(int CSIDL);
// GetSpecialFolder with "*" appended (an unknown folder gives "\*").
std::wstring GetSpecialFolderMask(int CSIDL);

// --- Running under Wine ---
// True when the program runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();
// Tests: 1 or 0 fixes the answer of RunningUnderWine, -1 asks the system again.
void SetRunningUnderWineForTesting(int Answer);
// Under Wine, the Unix path (UTF-8) Wine gives for Path; empty on Windows or
// when Wine cannot tell. Always asks the system, whatever a test set.
std::string WineUnixFileName(const std::wstring& Path);
// Under Wine, the drives whose Unix folder holds the Unix folder of Path (a
// drive root, "F:\\"), nearest first, as letters ("D"); links are resolved. A
// drive whose folder is Path's own is not among them. Empty on Windows.
std::wstring WineEnclosingDrives(const std::wstring& Path);
// True for a Unix path that names the root "/" in any spelling ("/", "//", "/.").
bool IsUnixRootLocation(const std::string& UnixPath);
// True when the drive Root ("Z:\") is, under Wine, the Linux root: such a drive
// holds the whole Linux system and is never walked or cleaned.
bool DriveReachesUnixRoot(const std::wstring& Root);
// Tests: the Unix folder DriveReachesUnixRoot takes for the root (empty: "/").
void SetUnixRootForTesting(const std::string& UnixPath);
// True for a directory entry's name that no Windows name can hold: a backslash
// or a slash (Wine lists Unix names as they are, so "..\Documents" would lead
// elsewhere), or U+FFFD (Wine's stand-in for bytes that are not UTF-8, so the
// name leads to another entry or none). Such entries are neither entered,
// offered nor deleted.
bool IsForeignEntryName(std::wstring_view Name);

// --- Recycle bin (shell32 looked up at run time; these never raise) ---
struct HINSTANCE__;
// shell32.dll, loaded on first use with the open-file error box suppressed and
// kept until the program ends; null when it cannot be loaded.
HINSTANCE__* LoadShellLibrary();
// Items (Size false) or bytes (Size true) in all recycle bins: the low 32 bits
// taken as signed, so bins beyond 2 GiB read wrong. -1 when the shell cannot tell.
int32_t QueryRecycleBin(bool Size);
// Empties every recycle bin without confirmation, progress window or sound.
// Under Wine the bin is the Linux user's trash, where links to files look like
// the files themselves and Wine's emptying deletes their targets; there the bin
// is left as it is.
void EmptyRecycleBin();
bool CanEmptyRecycleBin();

// --- The system's disk cleanup tool (system32\cleanmgr.exe) ---
bool DiskCleanupExists();
// Both return only when the tool has ended, dispatching this thread's window
// messages while they wait. A missing tool or a failed start does nothing.
void RunDiskCleanup();
void SetupDiskCleanup();
// How long the tool may take to wait for input before the program stops waiting
// for that and waits for the process alone.
inline constexpr unsigned DiskCleanupIdleLimitMs = 10000;

// --- Folders ---
// Empties and recreates the network-neighbourhood shortcut folder (CSIDL 19),
// only when it exists and lies deeper than two levels.
void ClearNetHoodFolder();
// Directory levels of Path: its non-empty backslash-separated parts, without
// parts holding a colon and without the server of a UNC path.
int PathDepth(const std::wstring& path);
// Deletes the tree at Path, normalising attributes and passing over entries
// that will not go. Never reaches through a link: junctions and symbolic links
// are removed as links, and an entry that opens as something other than itself
// (a Unix symlink under Wine) stays. True when the whole tree went.
bool DeleteDirectoryTree(const std::wstring& path);
// Creates Path with its missing parents; raises Exception "无法创建目录" for an
// empty path. False when the directory could not be made.
bool CreateDirectoryTree(const std::wstring& path);
// The one way a file that a reading pass found is deleted, permanently and
// without any user interface. The entry is opened itself, never through a
// link; it must still be a file (a folder or folder link put in its place
// stays) and still lie at Path under exactly that name (no link on the way, no
// name that differs only in letter case). A link the system shows as one
// (Windows) is removed as a link; one it shows as its target (Wine) stays. The
// file goes through that handle; a read-only attribute is cleared for it and
// restored when the file stays. True when the file was deleted; then Deleted,
// when given, tells its size and how many names it had, as the handle saw them.
struct TDeletedFile {
    uint64_t Size = 0;
    uint32_t Links = 1;  // a file with more than one name stays until its last name goes
    // With more than one name: which file it is (volume serial and file index),
    // so that names of one file deleted at the same time can be told together.
    uint64_t Volume = 0, Index = 0;
};
bool DeleteFoundFile(const std::wstring& path, TDeletedFile* Deleted = nullptr);
// The two steps of every deletion through a handle, without the checks between
// them: the entry opened for deletion as itself (a link as the link), and the
// mark that deletes it when its last handle closes (the POSIX disposition where
// the system has it, else the classic one). INVALID_HANDLE_VALUE when it cannot
// be opened. Exposed so that the primitive is measured against exactly these.
HANDLE OpenEntryForDeletion(const std::wstring& path);
bool MarkForDeletion(HANDLE entry);
// Removes the folder at Path when it is empty and is itself: a plain folder at
// that very path, not a link or reached through one, and not a drive root.
// True when it was removed.
bool RemoveEmptiedFolder(const std::wstring& path);
// True when Path reaches the entry it names: a link that shows as a link, or a
// file or folder with no link on its way. Wine shows Unix symlinks to files as
// plain files and deletes their targets through them; such paths answer false.
bool EntryIsItself(const std::wstring& path);
// Where Path leads with links followed, as the system names the opened entry
// ("C:\a\b", "\\server\share\a"); empty when it cannot be opened or the system
// cannot tell.
std::wstring ResolvedEntryPath(const std::wstring& path);
// How the deletion routines open an entry: folders too, and never recalling a
// placeholder's data from the cloud.
inline constexpr DWORD EntryOpenFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_NO_RECALL;
// True when a system error from marking an entry for deletion in the POSIX
// form (FileDispositionInfoEx) says the system or the file system does not
// know that form; that volume then takes the classic form from then on.
bool DispositionExIsUnknown(unsigned long Error);
// Tests: a stand-in for SetFileInformationByHandle when it marks an entry for
// deletion (InfoClass 21: FileDispositionInfoEx, 4: FileDispositionInfo); it
// answers non-zero on success and sets the last error otherwise. Null restores
// the system's call. Either way the answer whether the system has the POSIX
// form is asked again.
using TDispositionCallForTesting = int (*)(void* Entry, int InfoClass, void* Info, unsigned long Size);
void SetDispositionCallForTesting(TDispositionCallForTesting Call);
// Tests: a stand-in for reading an entry's volume serial and file-system flags
// (GetVolumeInformationByHandleW); non-zero on success. Null restores the
// system's call. Either way what was learnt about each volume is forgotten.
using TVolumeQueryForTesting = int (*)(void* Entry, uint32_t& Serial, uint32_t& Flags);
void SetVolumeQueryForTesting(TVolumeQueryForTesting Query);
// Tests: a function that may change the attributes and reparse tag the
// deletion routines read from an entry's handle (its path as given), as a
// system with cloud files would give them. Empty: none.
using TAttributeTagHookForTesting = std::function<void(const std::wstring& Path, uint32_t& Attributes, uint32_t& Tag)>;
void SetAttributeTagHookForTesting(TAttributeTagHookForTesting Hook);
// True while a test has set one of the stand-ins above: files are then deleted
// one at a time, on the caller's thread, as the stand-ins expect.
bool DeletionIsHookedForTesting();

// --- Internet Explorer ---
// Deletes URL cache entries: those whose source URL contains "Cookie" (case
// sensitive) when DeleteCookies, the others when DeleteNonCookies.
void ClearUrlCache(bool DeleteNonCookies, bool DeleteCookies);
// Clears the URL history store. Raises Exception when the history object cannot
// be created ("<system text>, ClassID: {...}") or lacks IUrlHistoryStg2
// ("Interface not supported"). COM must be initialised on this thread.
void ClearUrlHistory();

// --- Event logs ---
// Unscoped: callers write elSystem or TEventLogKind::elSystem.
enum TEventLogKind : uint8_t { elApplication = 0, elSecurity = 1, elSystem = 2 };
// The log's name as the event log service knows it ("APPLICATION", ...).
const wchar_t* EventLogName(TEventLogKind Log);
// Clears the log without a backup. Raises EOSError when the log cannot be opened.
void ClearEventLog(TEventLogKind Log);

// --- Texts ---
// "512 bytes", "1.5 KB", "3 MB", "5000 GB": the unit is chosen first, then the
// number is rounded to tenths (ties to even) and written with the user's
// decimal separator. Negative sizes count as 0.
std::wstring FormatSizeText(double Size);

// --- Keeping the windows alive during long work ---
using TProcessMessagesFunction = void (*)();
// The application installs its message pump here; until then it does nothing.
void SetProcessMessagesHandler(TProcessMessagesFunction handler);
void ProcessPendingMessages();
