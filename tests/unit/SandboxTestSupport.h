// Helpers for tests that touch the Wine sandbox: a cross-process lock for state
// that every test process shares, and a scratch folder under the sandbox's C:.
#pragma once

#include "engine/SystemRoutines.h"
#include "platform/Handles.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

// ctest runs test processes in parallel. Tests that change one shared thing
// (the recycle bin, the URL cache, system32\cleanmgr.exe, the user's locale)
// hold the lock named after it for their whole run.
class TSandboxLock {
public:
    explicit TSandboxLock(const std::wstring& name)
        : FMutex(::CreateMutexW(nullptr, FALSE, (L"Local\\VantrelTests." + name).c_str())) {
        if (FMutex) ::WaitForSingleObject(FMutex.Get(), INFINITE);  // abandoned by a crashed test is fine too
    }
    TSandboxLock(const TSandboxLock&) = delete;
    TSandboxLock& operator=(const TSandboxLock&) = delete;
    ~TSandboxLock() {
        if (FMutex) ::ReleaseMutex(FMutex.Get());
    }

private:
    THandle FMutex;
};

// Makes the program take this process for Windows (false) or Wine (true) for
// the test's lifetime. The recycle-bin tests empty the sandbox's own trash as
// Windows would empty its bin; the sandbox trash holds no links.
class TWineAnswerForTesting {
public:
    explicit TWineAnswerForTesting(bool underWine) { SetRunningUnderWineForTesting(underWine ? 1 : 0); }
    TWineAnswerForTesting(const TWineAnswerForTesting&) = delete;
    TWineAnswerForTesting& operator=(const TWineAnswerForTesting&) = delete;
    ~TWineAnswerForTesting() { SetRunningUnderWineForTesting(-1); }
};

// A folder of its own in the temporary directory, removed with its contents at the end.
class TScratchFolder {
public:
    explicit TScratchFolder(const std::wstring& purpose)
        : FPath(GetTempDirectory() + L"vt-" + purpose + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount64()) + L"\\") {
        CreateDirectoryTree(FPath);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    ~TScratchFolder() { DeleteDirectoryTree(FPath); }

    // The folder, with a trailing backslash.
    const std::wstring& Path() const { return FPath; }

private:
    std::wstring FPath;
};

// Writes Text into a new file (replacing one that is there).
inline bool WriteTestFile(const std::wstring& path, const std::string& text) {
    THandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadTestFile(const std::wstring& path) {
    THandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) text.append(buffer, read);
    return text;
}

inline bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[2048] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 2048);
    return length < 2048 ? std::wstring(buffer, length) : std::wstring();
}

// Wine keeps the recycle bin in the XDG trash: it must be the sandbox's own.
inline bool TrashIsInsideTheSandbox() {
    const std::wstring prefix = Environment(L"WINEPREFIX");
    const std::wstring data = Environment(L"XDG_DATA_HOME");
    return prefix.find(L"/build/wine-") != std::wstring::npos && data.size() > prefix.size() &&
           data.compare(0, prefix.size() + 1, prefix + L"/") == 0;
}

// Sends Path to the recycle bin the way the shell does for a user's delete.
inline bool Recycle(const std::wstring& path) {
    std::wstring from = path + L'\0';  // double-null-terminated list
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    return ::SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}
