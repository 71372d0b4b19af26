#include "platform/LogFile.h"

#include "platform/ErrorBox.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"
#include "platform/Utf8.h"

#include <windows.h>

namespace {

void WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) RaiseLastOSError();
    if (written != bytes.size()) RaiseOSError(ERROR_WRITE_FAULT);
}

// The file's bytes; empty when it does not exist.
std::string ReadAll(HANDLE file) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) RaiseLastOSError();
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        RaiseLastOSError();
    bytes.resize(read);
    return bytes;
}

// Writes Bytes to "<FileName>.new" and puts it in place of FileName.
void ReplaceFile(const std::wstring& fileName, const std::string& bytes) {
    const std::wstring temporary = ExtendedLengthPath(fileName + L".new");
    {
        THandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        if (!file) RaiseLastOSError();
        try {
            WriteAll(file.Get(), bytes);
        } catch (...) {
            file.Reset();
            ::DeleteFileW(temporary.c_str());
            throw;
        }
    }
    if (!::MoveFileExW(temporary.c_str(), ExtendedLengthPath(fileName).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(temporary.c_str());
        RaiseOSError(code);
    }
}

}  // namespace

std::string_view KeptLogText(std::string_view oldText, size_t adding, size_t limit) {
    if (oldText.size() + adding < limit) return oldText;
    const size_t half = oldText.size() / 2;
    // The first line start at or after the middle: right after a line feed at half - 1 or later.
    size_t start = half == 0 ? 0 : oldText.find('\n', half - 1);
    if (start == std::string_view::npos) return {};
    if (half != 0) ++start;
    const std::string_view kept = oldText.substr(start);
    return kept.size() + adding < limit ? kept : std::string_view{};
}

void AppendLogLine(const std::wstring& fileName, const std::wstring& line, size_t limit) {
    const std::string bytes = ToUtf8(line) + "\r\n";
    THandle file(::CreateFileW(ExtendedLengthPath(fileName).c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseLastOSError();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) RaiseLastOSError();
    if (static_cast<unsigned long long>(size.QuadPart) + bytes.size() < limit) {
        WriteAll(file.Get(), bytes);
        return;
    }
    const std::string old = ReadAll(file.Get());
    file.Reset();
    ReplaceFile(fileName, std::string(KeptLogText(old, bytes.size(), limit)) + bytes);
}
