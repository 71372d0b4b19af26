#include "settings/SettingsFile.h"
#include "texts/Texts.h"

#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"

#include <shlobj.h>

#include <algorithm>
#include <vector>

namespace {

TReplaceFileFunction GReplaceFile = nullptr;

// Larger than any settings file the program writes by several orders of magnitude.
constexpr LONGLONG MaxSettingsFileSize = 64LL * 1024 * 1024;

std::wstring ApiPath(const std::wstring& path) { return ExtendedLengthPath(path); }

bool DirectoryExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(ApiPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// Extension from the last dot of the name part; appended when the name has none.
std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& extension) {
    const size_t nameStart = path.find_last_of(L"\\/:");
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (nameStart != std::wstring::npos && dot < nameStart)) return path + extension;
    return path.substr(0, dot) + extension;
}

std::wstring ExtractFileName(const std::wstring& path) {
    const size_t nameStart = path.find_last_of(L"\\/:");
    return nameStart == std::wstring::npos ? path : path.substr(nameStart + 1);
}

// Creates Folder and every missing parent; true when the folder exists afterwards.
bool ForceDirectories(const std::wstring& folder) {
    for (size_t pos = folder.find(L'\\', 3); pos != std::wstring::npos; pos = folder.find(L'\\', pos + 1))
        ::CreateDirectoryW(ApiPath(folder.substr(0, pos)).c_str(), nullptr);
    ::CreateDirectoryW(ApiPath(folder).c_str(), nullptr);
    return DirectoryExists(folder);
}

std::wstring ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) RaiseLastOSError();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

[[noreturn]] void RaiseFileError(TTextId what, const std::wstring& fileName, DWORD code) {
    throw EOSError(code, FormatText(what, fileName) + L"\r\n" + SysErrorMessage(code));
}

[[noreturn]] void RaiseSaveError(const std::wstring& fileName, const std::wstring& temporary, DWORD code) {
    ::DeleteFileW(ApiPath(temporary).c_str());
    RaiseFileError(TTextId::ErrorCannotSaveSettings, fileName, code);
}

// ERROR_SUCCESS, or the code of the write that failed.
DWORD WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return ::GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        done += written;
    }
    return ERROR_SUCCESS;
}

}  // namespace

bool SettingsFileExists(const std::wstring& fileName) {
    const DWORD attributes = ::GetFileAttributesW(ApiPath(fileName).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring GetSettingsFileName() { return GetSettingsFileName(ExecutablePath(), GetSpecialFolder(CSIDL_APPDATA)); }

std::wstring GetSettingsFileName(const std::wstring& executablePath, const std::wstring& appDataFolder) {
    const std::wstring besideExecutable = ChangeFileExt(executablePath, L".cfg");
    if (appDataFolder.empty() || !DirectoryExists(WithoutTrailingBackslash(appDataFolder))) return besideExecutable;
    const std::wstring folder = WithoutTrailingBackslash(appDataFolder) + L"\\Holvane\\Vantrel";
    const std::wstring perUser = folder + L"\\" + ExtractFileName(besideExecutable);
    if (SettingsFileExists(besideExecutable) && DirectoryExists(folder)) {
        // The old file is moved rather than deleted while no per-user file exists yet,
        // so its settings survive until a save has replaced them.
        if (SettingsFileExists(perUser))
            ::DeleteFileW(ApiPath(besideExecutable).c_str());
        else
            ::MoveFileExW(ApiPath(besideExecutable).c_str(), ApiPath(perUser).c_str(),
                          MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH);
    }
    if (ForceDirectories(folder) && !SettingsFileExists(besideExecutable)) return perUser;
    return besideExecutable;
}

std::wstring RunLogFileName(const std::wstring& settingsFileName) { return ChangeFileExt(settingsFileName, L".log"); }

std::string ReadSettingsFile(const std::wstring& fileName) {
    THandle file(::CreateFileW(ApiPath(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) RaiseFileError(TTextId::ErrorCannotReadSettings, fileName, ::GetLastError());
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size))
        RaiseFileError(TTextId::ErrorCannotReadSettings, fileName, ::GetLastError());
    if (size.QuadPart > MaxSettingsFileSize)
        RaiseFileError(TTextId::ErrorCannotReadSettings, fileName, ERROR_FILE_TOO_LARGE);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            RaiseFileError(TTextId::ErrorCannotReadSettings, fileName, ::GetLastError());
        if (read == 0) break;  // the file shrank meanwhile
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

void WriteSettingsFile(const std::wstring& fileName, const std::string& bytes) {
    // Windows refuses to replace a read-only file; Wine's rename replaces it, which
    // would silently undo the user's protection of the file.
    const DWORD existing = ::GetFileAttributesW(ApiPath(fileName).c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0)
        RaiseFileError(TTextId::ErrorCannotSaveSettings, fileName, ERROR_ACCESS_DENIED);
    const std::wstring temporary = fileName + L".new";
    // A leftover of an interrupted save may carry attributes that refuse CREATE_ALWAYS.
    ::SetFileAttributesW(ApiPath(temporary).c_str(), FILE_ATTRIBUTE_NORMAL);
    {
        THandle file(::CreateFileW(ApiPath(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) RaiseFileError(TTextId::ErrorCannotSaveSettings, fileName, ::GetLastError());
        DWORD code = WriteAll(file.Get(), bytes);
        if (code == ERROR_SUCCESS && !::FlushFileBuffers(file.Get())) code = ::GetLastError();
        if (code != ERROR_SUCCESS) {
            file.Reset();
            RaiseSaveError(fileName, temporary, code);
        }
    }
    const TReplaceFileFunction replace = GReplaceFile ? GReplaceFile : &::MoveFileExW;
    if (!replace(ApiPath(temporary).c_str(), ApiPath(fileName).c_str(),
                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        RaiseSaveError(fileName, temporary, ::GetLastError());
}

void CopySettingsFile(const std::wstring& fileName, const std::wstring& copyName) {
    // A read-only copy from an earlier run would refuse to be replaced.
    ::SetFileAttributesW(ApiPath(copyName).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::CopyFileW(ApiPath(fileName).c_str(), ApiPath(copyName).c_str(), FALSE))
        RaiseFileError(TTextId::ErrorCannotKeepUnreadableSettings, fileName, ::GetLastError());
}

void SetReplaceFileForTesting(TReplaceFileFunction replace) { GReplaceFile = replace; }
