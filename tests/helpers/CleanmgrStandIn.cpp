// Stands in for the system's disk cleanup tool in the test sandbox. It lets a
// waiting parent see it idle, stays alive ~300 ms so the parent must wait, then
// appends its arguments (the command line without the program name) as a UTF-8
// line to cleanmgr-args.log next to itself and exits. No window, no console.
// With VT_CLEANMGR_BUSY_MS set (inherited from the test), it first stays busy
// that long without ever waiting for input, as a hung or slow tool would.
#include <windows.h>

#include <string>

namespace {

std::wstring Arguments() {
    const wchar_t* p = ::GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

std::wstring LogPath() {
    wchar_t module[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    path.erase(path.rfind(L'\\') + 1);
    return path + L"cleanmgr-args.log";
}

void AppendLine(const std::wstring& path, const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string line(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), line.data(), size, nullptr,
                          nullptr);
    line += "\r\n";
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t busy[16] = {};
    if (::GetEnvironmentVariableW(L"VT_CLEANMGR_BUSY_MS", busy, 16) > 0) ::Sleep(static_cast<DWORD>(_wtoi(busy)));
    // Waiting for messages marks the process idle, which releases the parent's
    // WaitForInputIdle; the timer ends the wait after ~300 ms.
    ::SetTimer(nullptr, 0, 300, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER) ::DispatchMessageW(&message);
    // Written last, so a parent that returned before the tool ended finds no log.
    AppendLine(LogPath(), Arguments());
    return 0;
}
