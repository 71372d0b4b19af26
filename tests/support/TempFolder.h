// A scratch folder under the sandbox's temporary folder, removed with everything
// in it when the test ends. Tests only ever create and delete files in here.
#pragma once

#include <windows.h>

#include <string>

class TTempFolder {
public:
    explicit TTempFolder(const std::wstring& tag);
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // The folder, with a trailing backslash.
    const std::wstring& Path() const { return FPath; }
    // Creates RelativeName (and its folders) holding Size bytes; returns its full path.
    std::wstring CreateFile(const std::wstring& relativeName, size_t size = 16) const;
    std::wstring CreateFolder(const std::wstring& relativeName) const;

private:
    std::wstring FPath;
};

bool FileExists(const std::wstring& path);
// Sets a file's last-access time (UTC FILETIME).
void SetLastAccessTime(const std::wstring& path, const FILETIME& utc);
// Removes a folder tree (tests' own scratch data only).
void RemoveTree(const std::wstring& path);
