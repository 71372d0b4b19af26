#include "support/TempFolder.h"

#include "platform/LongPath.h"

#include <stdexcept>

namespace {

void CreateFolders(const std::wstring& path) {
    // Create each level in turn; the extended form lets tests build paths beyond MAX_PATH.
    for (size_t pos = 3; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != L'\\') continue;
        ::CreateDirectoryW(ExtendedLengthPath(path.substr(0, pos)).c_str(), nullptr);
    }
}

std::wstring SandboxTemp() {
    wchar_t buffer[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path = buffer;
    // A test must never write outside the sandbox's own drives; Wine's Z: maps the Unix root.
    if (path.size() < 3 || (path[0] != L'C' && path[0] != L'c'))
        throw std::runtime_error("temporary folder is not on the sandbox's C: drive");
    return path;
}

}  // namespace

TTempFolder::TTempFolder(const std::wstring& tag) {
    static int counter = 0;
    FPath = SandboxTemp() + L"vt-" + tag + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    RemoveTree(FPath);
    CreateFolders(FPath);
}

TTempFolder::~TTempFolder() { RemoveTree(FPath); }

std::wstring TTempFolder::CreateFile(const std::wstring& relativeName, size_t size) const {
    const std::wstring full = FPath + relativeName;
    const size_t slash = full.find_last_of(L'\\');
    CreateFolders(full.substr(0, slash + 1));
    HANDLE h = ::CreateFileW(ExtendedLengthPath(full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create test file");
    std::string data(size, 'x');
    DWORD written = 0;
    ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    ::CloseHandle(h);
    return full;
}

std::wstring TTempFolder::CreateFolder(const std::wstring& relativeName) const {
    std::wstring full = FPath + relativeName;
    if (full.back() != L'\\') full.push_back(L'\\');
    CreateFolders(full);
    return full;
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetLastAccessTime(const std::wstring& path, const FILETIME& utc) {
    HANDLE h = ::CreateFileW(ExtendedLengthPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open test file for its times");
    ::SetFileTime(h, nullptr, &utc, nullptr);
    ::CloseHandle(h);
}

void RemoveTree(const std::wstring& path) {
    std::wstring folder = path;
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    const std::wstring longFolder = ExtendedLengthPath(folder);
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((ExtendedLengthPath(folder + L"\\*")).c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = folder + L"\\" + name;
            const std::wstring longChild = ExtendedLengthPath(child);
            ::SetFileAttributesW(longChild.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
                ::RemoveDirectoryW(longChild.c_str()) || ::DeleteFileW(longChild.c_str());
            else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                RemoveTree(child);
            else
                ::DeleteFileW(longChild.c_str());
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(longFolder.c_str());
}
