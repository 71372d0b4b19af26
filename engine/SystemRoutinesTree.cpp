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
#include "engine/SystemRoutines.h"

#include "engine/Exceptions.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"

#include <windows.h>

#include <atomic>
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

}  // namespace

HANDLE OpenEntryForDeletion(const std::wstring& path) {
    return ::CreateFileW(ExtendedLengthPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool MarkForDeletion(HANDLE entry) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return ::SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

namespace {

THandle OpenEntry(const std::wstring& path, DWORD access, DWORD flags) {
    return THandle(::CreateFileW(ExtendedLengthPath(path).c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
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

std::wstring ResolvedPath(const std::wstring& path) {
    THandle entry = OpenEntry(path, FILE_READ_ATTRIBUTES, 0);
    return entry ? FinalPath(entry.Get()) : std::wstring();
}

bool SetAttributes(HANDLE entry, DWORD attributes) {
    FILE_BASIC_INFO basic = {};  // zero times stay unchanged
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

// Removes a junction or symbolic link itself. A link that opens as anything but
// a reparse point stays.
bool DeleteLink(const std::wstring& path) {
    THandle link = OpenEntry(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_FLAG_OPEN_REPARSE_POINT);
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!link || !::GetFileInformationByHandleEx(link.Get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return false;
    // The link's own attributes: a read-only link refuses deletion.
    if (tag.FileAttributes & FILE_ATTRIBUTE_READONLY)
        SetAttributes(link.Get(), tag.FileAttributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_REPARSE_POINT |
                                                         FILE_ATTRIBUTE_DIRECTORY));
    return MarkForDeletion(link.Get());
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
// another file. Attributes that had to be cleared come back when it stays.
bool DeleteEntryByHandle(const std::wstring& path, const std::wstring& expected, TEntryKind kind,
                         TDeletedFile* deleted = nullptr) {
    THandle entry(OpenEntryForDeletion(path));
    if (!entry) return false;
    // A file is told from a folder by its standard information, which also
    // gives its size and its number of names; the attributes are read only
    // for a folder (is it a link?) or when the deletion was refused.
    FILE_STANDARD_INFO standard = {};
    if (!::GetFileInformationByHandleEx(entry.Get(), FileStandardInfo, &standard, sizeof(standard))) return false;
    // A file swapped for a folder or a folder link since it was found: deleting
    // it would take a whole tree, or a tree elsewhere.
    if (kind == TEntryKind::File && standard.Directory) return false;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    const auto readTag = [&] {
        return ::GetFileInformationByHandleEx(entry.Get(), FileAttributeTagInfo, &tag, sizeof(tag)) != FALSE;
    };
    // An emptied folder is removed only as itself; a link there is not ours.
    if (kind == TEntryKind::Folder &&
        (!standard.Directory || !readTag() || (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0))
        return false;
    const std::wstring finalPath = FinalPath(entry.Get());
    if (!SamePath(finalPath, expected)) return false;
    if (kind == TEntryKind::File && NamePart(finalPath) != NamePart(expected)) return false;
    if (!MarkForDeletion(entry.Get())) {
        // A read-only attribute refuses it: cleared through the same handle,
        // and restored when the entry stays all the same.
        if (!readTag() || (tag.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
        const DWORD kept = tag.FileAttributes & ~(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
        SetAttributes(entry.Get(), kept & ~FILE_ATTRIBUTE_READONLY);
        if (!MarkForDeletion(entry.Get())) {
            SetAttributes(entry.Get(), kept);
            return false;
        }
    }
    if (deleted != nullptr) *deleted = TDeletedFile{static_cast<uint64_t>(standard.EndOfFile.QuadPart), standard.NumberOfLinks};
    return true;
}

// Empties and removes Directory, which resolves to Resolved. Entries that will
// not go are passed over; the directory stays when any did.
bool DeleteTree(const std::wstring& directory, const std::wstring& resolved) {
    bool allDeleted = true;
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileW(ExtendedLengthPath(Join(directory, L"*")).c_str(), &data));
    if (find) {
        do {
            if (IsDotEntry(data.cFileName)) continue;
            const std::wstring path = Join(directory, data.cFileName), expected = Join(resolved, data.cFileName);
            bool deleted;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
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
    const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(directory).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return DeleteLink(directory);
    const std::wstring resolved = ResolvedPath(directory);
    return !resolved.empty() && DeleteTree(directory, resolved);
}

bool CreateDirectoryTree(const std::wstring& path) {
    if (path.empty()) throw Exception(L"无法创建目录");
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
    const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    // A link the system shows as one is removed as a link, never through it.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    return SamePath(ResolvedPath(name), name);
}

std::wstring ResolvedEntryPath(const std::wstring& path) { return ResolvedPath(WithoutTrailingBackslashes(path)); }
