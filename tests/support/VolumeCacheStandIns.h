// Disk cleanup handlers for tests: volumecache-standin.dll registered as COM
// classes in the sandbox, and handler keys under a VolumeCaches key of this
// test process's own, which the program is pointed at. The hosts run the
// Vantrel.exe that was built beside the tests. Everything is removed at the end
// but the shared copy of the DLL and its class registrations.
#pragma once

#include "../helpers/VolumeCacheStandInIds.h"
#include "catalogue/VolumeCacheHandlers.h"
#include "catalogue/VolumeCacheHostClient.h"
#include "engine/SystemRoutines.h"

#include <windows.h>

#include <string>

class TVolumeCacheStandIns {
public:
    // Limit: the handlers' time limit for this process, in milliseconds.
    explicit TVolumeCacheStandIns(DWORD limitMs = 3000)
        : FKeyPath(L"SOFTWARE\\VantrelTests\\VolumeCaches-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(::GetTickCount64())) {
        const std::wstring tests = TestsDirectory();
        Folder = L"C:\\VantrelTests\\volumecache\\";
        CreateDirectoryTree(Folder);
        HANDLE lock = ::CreateMutexW(nullptr, FALSE, L"Local\\VantrelTests.VolumeCacheStandIn");
        ::WaitForSingleObject(lock, INFINITE);
        Install(tests + L"volumecache-standin.dll", Dll());
        // The build's app folder beside tests ("\\?\" paths take no "..").
        const std::wstring build = tests.substr(0, tests.rfind(L'\\', tests.size() - 2) + 1);
        Install(build + L"app\\Vantrel.exe", Folder + L"Vantrel.exe");
        for (const wchar_t* clsid : {VT_STANDIN_CLSID, VT_STANDIN_V2ONLY_CLSID, VT_STANDIN_V1ONLY_CLSID, VT_STANDIN_BAG_CLSID}) {
            const std::wstring key = std::wstring(L"SOFTWARE\\Classes\\CLSID\\") + clsid + L"\\InprocServer32";
            SetText(HKEY_LOCAL_MACHINE, key, nullptr, Dll());
            SetText(HKEY_LOCAL_MACHINE, key, L"ThreadingModel", L"Apartment");
        }
        ::ReleaseMutex(lock);
        ::CloseHandle(lock);
        FOldKeyPath = VolumeCachesKeyPath();
        FOldProgram = VolumeCacheHostProgram();
        VolumeCachesKeyPath() = FKeyPath;
        VolumeCacheHostProgram() = Folder + L"Vantrel.exe";
        ::SetEnvironmentVariableW(L"VANTREL_VOLUMECACHE_LIMIT_MS", std::to_wstring(limitMs).c_str());
        HKEY root = nullptr;
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, FKeyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                          nullptr, &root, nullptr);
        if (root != nullptr) ::RegCloseKey(root);
    }
    ~TVolumeCacheStandIns() {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, FKeyPath.c_str());
        VolumeCachesKeyPath() = FOldKeyPath;
        VolumeCacheHostProgram() = FOldProgram;
        ::SetEnvironmentVariableW(L"VANTREL_VOLUMECACHE_LIMIT_MS", nullptr);
    }
    TVolumeCacheStandIns(const TVolumeCacheStandIns&) = delete;
    TVolumeCacheStandIns& operator=(const TVolumeCacheStandIns&) = delete;

    std::wstring Dll() const { return Folder + L"volumecache-standin.dll"; }
    const std::wstring& KeyPath() const { return FKeyPath; }

    // Registers handler KeyName of class Clsid doing Mode on the files of
    // FilesFolder (may be empty), logging its calls to LogFile.
    void Add(const std::wstring& keyName, const std::wstring& mode, const std::wstring& filesFolder,
             const std::wstring& logFile, DWORD flags = 0, DWORD priority = 100,
             const std::wstring& clsid = VT_STANDIN_CLSID) const {
        const std::wstring key = FKeyPath + L"\\" + keyName;
        SetText(HKEY_LOCAL_MACHINE, key, nullptr, clsid);
        SetText(HKEY_LOCAL_MACHINE, key, L"StandInMode", mode);
        if (!filesFolder.empty()) SetText(HKEY_LOCAL_MACHINE, key, L"StandInFolder", filesFolder);
        if (!logFile.empty()) SetText(HKEY_LOCAL_MACHINE, key, L"StandInLog", logFile);
        SetNumber(key, L"StandInFlags", flags);
        SetNumber(key, L"Priority", priority);
        SetText(HKEY_LOCAL_MACHINE, key, L"Display", keyName);
    }
    void SetValue(const std::wstring& keyName, const wchar_t* name, const std::wstring& text) const {
        SetText(HKEY_LOCAL_MACHINE, FKeyPath + L"\\" + keyName, name, text);
    }

    static std::wstring ReadLog(const std::wstring& file) {
        HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return L"";
        std::string bytes(1 << 16, '\0');
        DWORD got = 0;
        ::ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
        ::CloseHandle(handle);
        std::wstring text(got, L'\0');
        text.resize(static_cast<size_t>(
            ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(got), text.data(), static_cast<int>(got))));
        return text;
    }

    std::wstring Folder;

private:
    // Another test process may be running these very files: a new copy takes
    // their name in one step, and whoever has the old one mapped keeps it.
    static void Install(const std::wstring& from, const std::wstring& to) {
        const std::wstring fresh = to + L"." + std::to_wstring(::GetCurrentProcessId()) + L".new";
        if (::CopyFileW(from.c_str(), fresh.c_str(), FALSE) &&
            !::MoveFileExW(fresh.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
            ::DeleteFileW(fresh.c_str());
    }
    static std::wstring TestsDirectory() {
        wchar_t module[MAX_PATH] = {};
        std::wstring path(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH));
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && path.rfind(L"unix\\", 0) == 0)
            path = L"\\\\?\\" + path;
        return path.substr(0, path.rfind(L'\\') + 1);
    }
    static void SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                              nullptr) != ERROR_SUCCESS)
            return;
        ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }
    static void SetNumber(const std::wstring& path, const wchar_t* name, DWORD value) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, &key, nullptr) != ERROR_SUCCESS)
            return;
        ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        ::RegCloseKey(key);
    }

    std::wstring FKeyPath, FOldKeyPath, FOldProgram;
};
