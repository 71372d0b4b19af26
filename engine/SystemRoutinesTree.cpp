// Deleting and creating directory trees.
//
// Deletion never reaches through a link. Windows marks junctions and symbolic
// links as reparse points; they are removed as links. Wine 8 marks Unix symlinks
// to directories as reparse points too, but shows symlinks to files as plain
// files, and whatever it opens through a link - even with
// FILE_FLAG_OPEN_REPARSE_POINT - is the target, which DeleteFileW and
// RemoveDirectoryW then delete. So every entry is deleted through a handle, and
// only after the handle shows that it holds the entry itself: a link opened as
// a link, or a plain entry whose final path is the one its name gives.
//
// Paths go to the system in the \\?\ form, so a name it would otherwise read
// as a device ("com3.old") or trim ("dir.", "name ") reaches that very entry.
// Entries whose content lives elsewhere (engine/CloudFiles.h) are never deleted.
#include "engine/SystemRoutines.h"
#include "texts/Texts.h"

#include "engine/CloudFiles.h"
#include "engine/Exceptions.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <vector>

namespace {

std::wstring WithoutTrailingBackslashes(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\' && path[path.size() - 2] != L':') path.pop_back();
    return path;
}

std::wstring Join(const std::wstring& directory, const wchar_t* name) {
    return directory.back() == L'\\' ? directory + name : directory + L"\\" + name;
}

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

THandle OpenEntry(const std::wstring& path, DWORD access, DWORD flags) {
    return THandle(::CreateFileW(LiteralPath(path).c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 EntryOpenFlags | flags, nullptr));
}

// Wine's GetFinalPathNameByHandleW fails with ERROR_MORE_DATA for any path
// beyond MAX_PATH, whatever the buffer; the object name it is built from has no
// such limit and, under Wine, reads "\??\C:\...". Elsewhere the name is a
// device path and this answers empty, as GetFinalPathNameByHandleW did.
std::wstring ObjectDrivePath(HANDLE entry) {
    using TNtQueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    constexpr int ObjectNameInformation = 1;
    const FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryObject");
    if (!proc) return {};
    const auto query = reinterpret_cast<TNtQueryObject>(reinterpret_cast<void*>(proc));
    struct TName {
        USHORT Length;
        USHORT MaximumLength;
        PWSTR Buffer;
    };
    // Made once per thread: zeroing 128 KB per file cost more than the call.
    thread_local std::vector<ULONGLONG> buffer((sizeof(TName) + 65536 * sizeof(wchar_t)) / sizeof(ULONGLONG) + 1);
    ULONG returned = 0;
    if (query(entry, ObjectNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG)),
              &returned) < 0)
        return {};
    const auto* name = reinterpret_cast<const TName*>(buffer.data());
    const std::wstring path(name->Buffer, name->Length / sizeof(wchar_t));
    if (path.size() < 7 || path.rfind(L"\\??\\", 0) != 0 || path[5] != L':' || path[6] != L'\\') return {};
    return path.substr(4);
}

// Where the system says the opened entry lives ("C:\a\b", "\\server\share\a");
// empty when it cannot tell.
std::wstring FinalPath(HANDLE entry) {
    // Under Wine the object name already is the drive path, in one server call
    // where GetFinalPathNameByHandleW makes several; Windows names the device
    // instead. The first answer tells which system this is.
    static std::atomic<int> objectNameIsDrivePath{-1};
    if (objectNameIsDrivePath.load(std::memory_order_relaxed) != 0) {
        std::wstring path = ObjectDrivePath(entry);
        if (!path.empty()) {
            objectNameIsDrivePath.store(1, std::memory_order_relaxed);
            return path;
        }
        int unknown = -1;
        objectNameIsDrivePath.compare_exchange_strong(unknown, 0);
    }
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(entry, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0 && ::GetLastError() == ERROR_MORE_DATA) return ObjectDrivePath(entry);
    if (length >= path.size()) {
        path.resize(length);
        length = ::GetFinalPathNameByHandleW(entry, path.data(), static_cast<DWORD>(path.size()), 0);
    }
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Path with the dots and spaces that end any of its parts left out: how Wine
// names an entry such as "name." or "dir. " that it opened as itself (Windows
// names it as it is).
std::wstring WithTrimmedParts(const std::wstring& path) {
    std::wstring trimmed;
    trimmed.reserve(path.size());
    for (size_t begin = 0; begin <= path.size();) {
        size_t end = path.find(L'\\', begin);
        if (end == std::wstring::npos) end = path.size();
        size_t last = end;
        while (last > begin && (path[last - 1] == L'.' || path[last - 1] == L' ')) --last;
        // "." and ".." are parts of their own, never trimmed to nothing.
        if (last == begin) last = end;
        trimmed.append(path, begin, last - begin);
        if (end < path.size()) trimmed.push_back(L'\\');
        begin = end + 1;
    }
    return trimmed;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    return ::GetFileInformationByHandle(a, &first) && ::GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

// True when Entry, opened from Expected, holds the entry Expected names: the
// system's name for it, FinalPath, is Expected as it is, or as Wine names an
// entry with a part that ends in a dot or space ("name." as "name"). Wine
// opened that part as itself - the \\?\ form is not trimmed - unless it is a
// link to, or another name of, the trimmed one, which then holds the same file.
bool IsNamedByNestedDrive(const std::wstring& finalPath, const std::wstring& expected);

bool HoldsExpectedEntry(HANDLE entry, const std::wstring& finalPath, const std::wstring& expected) {
    if (SamePath(finalPath, expected) || IsNamedByNestedDrive(finalPath, expected)) return true;
    const std::wstring trimmed = WithTrimmedParts(expected);
    if (trimmed == expected || !SamePath(finalPath, trimmed)) return false;
    THandle plain = OpenEntry(trimmed, FILE_READ_ATTRIBUTES, FILE_FLAG_OPEN_REPARSE_POINT);
    return !plain || !SameFile(entry, plain.Get());
}

// True for a plain folder as its parent lists it: Wine shows a Unix link to a
// folder there as a reparse point, though it opens the link's target.
bool IsListedAsPlainFolder(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW(LiteralPath(path).c_str(), &data));
    return find && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Under Wine every entry is named by the deepest drive whose folder holds it:
// with F: linked to D:'s folder "inner", the walk of D: finds "D:\\inner\\x",
// whose handle Wine names "F:\\x". It is that entry itself when Expected's part
// before the shared tail ("D:\\inner") is F:'s folder, every folder on its way
// below D:'s root listed as a plain folder - no link leads there. A drive's own
// folder (no tail) is never taken for an entry below another drive.
bool IsNamedByNestedDrive(const std::wstring& finalPath, const std::wstring& expected) {
    if (!RunningUnderWine() || finalPath.size() < 4 || finalPath[1] != L':' || finalPath[2] != L'\\') return false;
    const size_t tailLength = finalPath.size() - 3;
    if (expected.size() < tailLength + 5) return false;  // "D:\\x\\" + tail at least
    const size_t split = expected.size() - tailLength;
    if (expected[split - 1] != L'\\' || !SamePath(expected.substr(split), finalPath.substr(3))) return false;
    const std::wstring folder = expected.substr(0, split - 1);
    if (folder.size() < 4 || folder[1] != L':' || folder[2] != L'\\') return false;
    THandle nested = OpenEntry(folder, FILE_READ_ATTRIBUTES, 0);
    if (!nested || !SamePath(FinalPath(nested.Get()), finalPath.substr(0, 3))) return false;
    for (size_t slash = folder.find(L'\\', 3); ; slash = folder.find(L'\\', slash + 1)) {
        if (!IsListedAsPlainFolder(folder.substr(0, slash))) return false;
        if (slash == std::wstring::npos) return true;
    }
}

std::wstring ResolvedPath(const std::wstring& path) {
    THandle entry = OpenEntry(path, FILE_READ_ATTRIBUTES, 0);
    return entry ? FinalPath(entry.Get()) : std::wstring();
}

bool SetAttributes(HANDLE entry, DWORD attributes) {
    FILE_BASIC_INFO basic = {};  // zero times stay unchanged
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

// --- Marking for deletion ---

// FileDispositionInfoEx, spelled out: mingw declares it only for Windows 10 builds.
constexpr auto DispositionInfoExClass = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD DispositionExFlags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                                     FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
// Without IGNORE_READONLY_ATTRIBUTE, which came after the POSIX flag: a system
// that knows the one and not the other refuses 0x13 as an invalid parameter.
constexpr DWORD DispositionPosixFlags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
constexpr DWORD SupportsPosixUnlinkRename = 0x00000400;  // FILE_SUPPORTS_POSIX_UNLINK_RENAME
// Windows 10 1709, the first with FileDispositionInfoEx.
constexpr DWORD FirstBuildWithDispositionEx = 16299;

TDispositionCallForTesting GDispositionCall = nullptr;
TVolumeQueryForTesting GVolumeQuery = nullptr;

bool SetDisposition(HANDLE entry, FILE_INFO_BY_HANDLE_CLASS infoClass, void* info, DWORD size) {
    if (GDispositionCall) return GDispositionCall(entry, static_cast<int>(infoClass), info, size) != 0;
    return ::SetFileInformationByHandle(entry, infoClass, info, size) != FALSE;
}

// True when the system is older than Windows 10 1709 and so knows no POSIX
// form at all: the one answer that holds for the whole process. Wine 8 knows
// none either, and asking each file's volume costs it more than the deletion
// (a third of a millisecond a question, where Windows answers in microseconds).
// A test's stand-in for the call plays a newer Windows.
bool SystemLacksDispositionEx() {
    static const bool lacks = [] {
        const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr || ::GetProcAddress(ntdll, "wine_get_version") != nullptr) return true;
        using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof(version);
        const auto get = reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        if (get == nullptr || get(&version) < 0) return true;
        return version.dwMajorVersion < 10 || version.dwBuildNumber < FirstBuildWithDispositionEx;
    }();
    return lacks && GDispositionCall == nullptr;
}

// The entry's volume serial; with Flags, the volume's file-system flags too
// (asked only the first time a volume is met).
bool QueryVolume(HANDLE entry, uint32_t& serial, uint32_t* flags) {
    if (GVolumeQuery) {
        uint32_t ignored = 0;
        return GVolumeQuery(entry, serial, flags != nullptr ? *flags : ignored) != 0;
    }
    DWORD volumeSerial = 0, fileSystemFlags = 0;
    if (!::GetVolumeInformationByHandleW(entry, nullptr, 0, &volumeSerial, nullptr,
                                         flags != nullptr ? &fileSystemFlags : nullptr, nullptr, 0))
        return false;
    serial = volumeSerial;
    // A test's stand-in for the disposition call plays Windows 10 on NTFS.
    if (flags != nullptr) *flags = GDispositionCall ? fileSystemFlags | SupportsPosixUnlinkRename : fileSystemFlags;
    return true;
}

// The form each volume takes, learnt from its flags and its answers. A FAT32
// stick, an exFAT card or a share refusing the POSIX form says nothing about
// the NTFS volumes beside it.
enum class TVolumeForm { Posix, PosixKeepReadOnly, Classic };

class TVolumeForms {
public:
    // The volume's form; its flags are read through Entry the first time.
    TVolumeForm FormOf(HANDLE entry, uint32_t serial) {
        ::AcquireSRWLockShared(&FLock);
        const auto known = FForms.find(serial);
        const bool found = known != FForms.end();
        const TVolumeForm form = found ? known->second : TVolumeForm::Posix;
        ::ReleaseSRWLockShared(&FLock);
        if (found) return form;
        uint32_t flags = SupportsPosixUnlinkRename, again = 0;
        // A volume whose flags cannot be read is tried, and learnt from its answer.
        QueryVolume(entry, again, &flags);
        const TVolumeForm learnt = (flags & SupportsPosixUnlinkRename) ? TVolumeForm::Posix : TVolumeForm::Classic;
        ::AcquireSRWLockExclusive(&FLock);
        const TVolumeForm settled = FForms.emplace(serial, learnt).first->second;
        ::ReleaseSRWLockExclusive(&FLock);
        return settled;
    }
    void Learn(uint32_t serial, TVolumeForm form) {
        ::AcquireSRWLockExclusive(&FLock);
        FForms[serial] = form;
        ::ReleaseSRWLockExclusive(&FLock);
    }
    void Forget() {
        ::AcquireSRWLockExclusive(&FLock);
        FForms.clear();
        ::ReleaseSRWLockExclusive(&FLock);
    }

private:
    SRWLOCK FLock = SRWLOCK_INIT;
    std::map<uint32_t, TVolumeForm> FForms;
};

TVolumeForms& VolumeForms() {
    static TVolumeForms forms;
    return forms;
}

bool SetDispositionFlags(HANDLE entry, DWORD flags) {
    return SetDisposition(entry, DispositionInfoExClass, &flags, sizeof(flags));  // FILE_DISPOSITION_INFO_EX
}

// The POSIX form: the name goes at once, even while another program holds the
// file open with share-delete (so its folder can go too), and a read-only
// attribute does not refuse it. Decided per volume: by its flags, read once,
// then by its answers. A volume that refuses 0x13 as an invalid parameter is
// asked once with 0x3 (POSIX without the read-only flag, Windows 10 1709 to
// 1803); one that knows neither takes the classic form from then on.
bool MarkForDeletionEx(HANDLE entry) {
    if (SystemLacksDispositionEx()) return false;
    uint32_t serial = 0;
    // A volume that cannot be told is tried, and nothing is learnt from its answer.
    const bool known = QueryVolume(entry, serial, nullptr);
    const TVolumeForm form = known ? VolumeForms().FormOf(entry, serial) : TVolumeForm::Posix;
    if (form == TVolumeForm::Classic) return false;
    if (form == TVolumeForm::Posix) {
        if (SetDispositionFlags(entry, DispositionExFlags)) return true;
        const DWORD error = ::GetLastError();
        if (error != ERROR_INVALID_PARAMETER) {
            if (DispositionExIsUnknown(error) && known) VolumeForms().Learn(serial, TVolumeForm::Classic);
            return false;
        }
    }
    if (SetDispositionFlags(entry, DispositionPosixFlags)) {
        if (known && form == TVolumeForm::Posix) VolumeForms().Learn(serial, TVolumeForm::PosixKeepReadOnly);
        return true;
    }
    if (DispositionExIsUnknown(::GetLastError()) && known) VolumeForms().Learn(serial, TVolumeForm::Classic);
    return false;
}

bool MarkForDeletionClassic(HANDLE entry) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetDisposition(entry, FileDispositionInfo, &disposition, sizeof(disposition));
}

}  // namespace

bool MarkForDeletion(HANDLE entry) { return MarkForDeletionEx(entry) || MarkForDeletionClassic(entry); }

// With DELETE alone: FILE_WRITE_ATTRIBUTES is asked for only when a read-only
// attribute must be cleared (MarkForDeletion).
HANDLE OpenEntryForDeletion(const std::wstring& path) {
    return ::CreateFileW(LiteralPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         EntryOpenFlags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

namespace {

// Marks the entry, opened with DELETE, for deletion. Where only the classic
// form is left and a read-only attribute refuses it, the entry is opened again
// through its handle - the same entry, whatever happened to its name - with
// FILE_WRITE_ATTRIBUTES, asked for only then: DELETE alone may be granted by
// the parent folder where writing the attributes is not. The attribute is
// cleared for the deletion and restored when the entry stays all the same.
// Attributes: the entry's own, from its handle.
bool MarkForDeletion(HANDLE entry, DWORD attributes) {
    if (::MarkForDeletion(entry)) return true;
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
    THandle writable(::ReOpenFile(entry, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  EntryOpenFlags | FILE_FLAG_OPEN_REPARSE_POINT));
    if (!writable) return false;
    const DWORD kept = attributes & ~(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
    if (!SetAttributes(writable.Get(), kept & ~FILE_ATTRIBUTE_READONLY)) return false;
    if (MarkForDeletionClassic(writable.Get())) return true;
    SetAttributes(writable.Get(), kept);
    return false;
}

TAttributeTagHookForTesting GAttributeTagHook;

// The entry's attributes and reparse tag, as its handle gives them.
bool ReadAttributeTag(HANDLE entry, const std::wstring& path, FILE_ATTRIBUTE_TAG_INFO& tag) {
    if (!::GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof(tag))) return false;
    if (GAttributeTagHook) {
        uint32_t attributes = tag.FileAttributes, reparseTag = tag.ReparseTag;
        GAttributeTagHook(path, attributes, reparseTag);
        tag.FileAttributes = attributes;
        tag.ReparseTag = reparseTag;
    }
    return true;
}

// Removes a junction or symbolic link itself. A link that opens as anything but
// a reparse point stays, and so does a cloud placeholder: it is no link.
bool DeleteLink(const std::wstring& path) {
    THandle link = OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES, FILE_FLAG_OPEN_REPARSE_POINT);
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!link || !ReadAttributeTag(link.Get(), path, tag) || (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
        IsContentElsewhere(tag.FileAttributes, tag.ReparseTag))
        return false;
    return MarkForDeletion(link.Get(), tag.FileAttributes);
}

enum class TEntryKind { File, Folder };

// The final component of a path, after its last backslash.
std::wstring_view NamePart(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring_view(path) : std::wstring_view(path).substr(slash + 1);
}

// The deletion primitive. Opens the entry itself (never through a link),
// checks that the handle holds what the caller expects - a file, not a folder,
// when a file was found; a plain folder, never a link, for a folder - and that
// it lands at Expected, then deletes it through that handle. A file's name must
// match Expected exactly: under Wine a name that differs only in letter case is
// another file. An entry whose content lives elsewhere stays.
bool DeleteEntryByHandle(const std::wstring& path, const std::wstring& expected, TEntryKind kind,
                         TDeletedFile* deleted = nullptr) {
    THandle entry(OpenEntryForDeletion(path));
    if (!entry) return false;
    // A file is told from a folder by its standard information, which also
    // gives its size and its number of names.
    FILE_STANDARD_INFO standard = {};
    if (!::GetFileInformationByHandleEx(entry.Get(), FileStandardInfo, &standard, sizeof(standard))) return false;
    // A file swapped for a folder or a folder link since it was found: deleting
    // it would take a whole tree, or a tree elsewhere.
    if (kind == TEntryKind::File && standard.Directory) return false;
    // A cloud placeholder, or a file whose data was moved away: deleting it
    // would delete it everywhere and free nothing here.
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!ReadAttributeTag(entry.Get(), path, tag) || IsContentElsewhere(tag.FileAttributes, tag.ReparseTag))
        return false;
    // An emptied folder is removed only as itself; a link there is not ours.
    if (kind == TEntryKind::Folder && (!standard.Directory || (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0))
        return false;
    const std::wstring finalPath = FinalPath(entry.Get());
    if (!HoldsExpectedEntry(entry.Get(), finalPath, expected)) return false;
    if (kind == TEntryKind::File && NamePart(finalPath) != NamePart(expected) &&
        NamePart(finalPath) != NamePart(WithTrimmedParts(expected)))
        return false;
    TDeletedFile outcome{static_cast<uint64_t>(standard.EndOfFile.QuadPart), standard.NumberOfLinks};
    if (deleted != nullptr && outcome.Links > 1) {
        BY_HANDLE_FILE_INFORMATION identity;
        if (::GetFileInformationByHandle(entry.Get(), &identity)) {
            outcome.Volume = identity.dwVolumeSerialNumber;
            outcome.Index = (static_cast<uint64_t>(identity.nFileIndexHigh) << 32) | identity.nFileIndexLow;
        }
    }
    if (!MarkForDeletion(entry.Get(), tag.FileAttributes)) return false;
    if (deleted != nullptr) *deleted = outcome;
    return true;
}

// Empties and removes Directory, which resolves to Resolved. Entries that will
// not go are passed over; the directory stays when any did.
bool DeleteTree(const std::wstring& directory, const std::wstring& resolved) {
    bool allDeleted = true;
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW(LiteralPath(Join(directory, L"*")).c_str(), &data));
    if (find) {
        do {
            if (IsDotEntry(data.cFileName)) continue;
            const std::wstring path = Join(directory, data.cFileName), expected = Join(resolved, data.cFileName);
            bool deleted;
            if (IsContentElsewhere(data.dwFileAttributes, data.dwReserved0))
                deleted = false;
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                deleted = DeleteLink(path);
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                deleted = SamePath(ResolvedPath(path), expected) && DeleteTree(path, expected);
            else
                deleted = DeleteEntryByHandle(path, expected, TEntryKind::File);
            allDeleted = allDeleted && deleted;
        } while (::FindNextFileW(find.Get(), &data));
    }
    find.Reset();
    return allDeleted && DeleteEntryByHandle(directory, resolved, TEntryKind::Folder);
}

}  // namespace

bool DeleteDirectoryTree(const std::wstring& path) {
    const std::wstring directory = WithoutTrailingBackslashes(path);
    const DWORD attributes = ::GetFileAttributesW(LiteralPath(directory).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return DeleteLink(directory);
    const std::wstring resolved = ResolvedPath(directory);
    return !resolved.empty() && DeleteTree(directory, resolved);
}

bool CreateDirectoryTree(const std::wstring& path) {
    if (path.empty()) throw Exception(LoadText(TTextId::ErrorCannotCreateDirectory));
    const std::wstring directory = WithoutTrailingBackslashes(path);
    const std::wstring name = ExtendedLengthPath(directory);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const size_t slash = directory.rfind(L'\\');
    // Stop at a drive ("C:") or at the top of the path: there is no parent to make.
    if (slash != std::wstring::npos && slash > 0 && directory[slash - 1] != L'\\') {
        const std::wstring parent = directory.substr(0, slash);
        if (parent.back() != L':' && !CreateDirectoryTree(parent)) return false;
    }
    return ::CreateDirectoryW(name.c_str(), nullptr) != FALSE || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// A path with a slash or U+FFFD came from a name no Windows name can hold; it
// does not lead back to the entry that was listed.
static bool HoldsForeignCharacters(const std::wstring& path) { return path.find_first_of(L"/\uFFFD") != std::wstring::npos; }

bool DeleteFoundFile(const std::wstring& path, TDeletedFile* Deleted) {
    return !path.empty() && !HoldsForeignCharacters(path) &&
           DeleteEntryByHandle(path, path, TEntryKind::File, Deleted);
}

bool RemoveEmptiedFolder(const std::wstring& path) {
    const std::wstring folder = WithoutTrailingBackslashes(path);
    // A drive root is never an emptied folder.
    if (folder.size() <= 3 && folder.size() >= 2 && folder[1] == L':') return false;
    return !folder.empty() && !HoldsForeignCharacters(folder) && DeleteEntryByHandle(folder, folder, TEntryKind::Folder);
}

bool EntryIsItself(const std::wstring& path) {
    const std::wstring name = WithoutTrailingBackslashes(path);
    const DWORD attributes = ::GetFileAttributesW(LiteralPath(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    // A link the system shows as one is removed as a link, never through it.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    THandle entry = OpenEntry(name, FILE_READ_ATTRIBUTES, 0);
    return entry && HoldsExpectedEntry(entry.Get(), FinalPath(entry.Get()), name);
}

std::wstring ResolvedEntryPath(const std::wstring& path) { return ResolvedPath(WithoutTrailingBackslashes(path)); }

bool DispositionExIsUnknown(unsigned long Error) {
    // ERROR_INVALID_PARAMETER: an information class the system does not know
    // (Windows before 10 1709, Wine 8); the others: a file system without it.
    return Error == ERROR_INVALID_PARAMETER || Error == ERROR_INVALID_FUNCTION || Error == ERROR_NOT_SUPPORTED;
}

void SetDispositionCallForTesting(TDispositionCallForTesting Call) {
    GDispositionCall = Call;
    VolumeForms().Forget();
}

void SetVolumeQueryForTesting(TVolumeQueryForTesting Query) {
    GVolumeQuery = Query;
    VolumeForms().Forget();
}

void SetAttributeTagHookForTesting(TAttributeTagHookForTesting Hook) { GAttributeTagHook = std::move(Hook); }

bool DeletionIsHookedForTesting() {
    return GDispositionCall != nullptr || GVolumeQuery != nullptr || static_cast<bool>(GAttributeTagHook);
}
