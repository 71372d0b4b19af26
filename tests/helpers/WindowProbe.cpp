// window-probe.exe: looks at Vantrel's windows from another process of the same
// sandbox, for the e2e and stress scripts (X tools see top-level windows only,
// never the texts of controls).
//
//   window-probe texts <title-prefix>
//       For every visible top-level window whose title starts with the prefix:
//       "window <hwnd> <class> <title>", then "  <class>: <text>" per child.
//   window-probe stop-latency <rounds> <reading-ms> <timeout-s>
//       Waits for Vantrel's main window to be reading, lets it read for
//       <reading-ms>, pings it (WM_NULL) meanwhile, then posts the stop command
//       and times until the first status line shows the free space. Restarts
//       reading for the next round. Prints "ping_max_ms=", "stop_ms=" lines.
//   window-probe wait-status <prefix> <timeout-s>
//       Waits until a status line of the main window starts with the prefix,
//       pinging the window (WM_NULL) every 50 ms; prints the milliseconds waited
//       and the slowest ping. Exit code 1 on time-out.
//   window-probe clean <timeout-s>
//       Presses the main window's "清理" (the command its button sends) and
//       waits until the status line reports the space freed. Exit code 1 on
//       time-out.
//   window-probe close
//       Asks the main window to close (WM_CLOSE), as its close box does.
//   window-probe captions <timeout-s> [NAME=value...] <program> [arguments...]
//       Starts the program suspended, hooks its main thread with
//       caption-hook.dll (beside this program), lets it run, and records every
//       caption its top-level windows ever had, however briefly. Prints "caption=<text>" once per distinct caption in the order
//       first seen, then "exit_code=<n>" ("exit_code=timeout" after the limit,
//       when the program is ended). Exit code 0 when the program ended by itself.
//       Each NAME=value before the program sets that environment variable for
//       it; NAME= removes it (Wine rebuilds the environment from the registry
//       only for programs started from Unix, so this is how a test gives the
//       program an environment of its own, such as TEMP unset).
//
// Texts are printed as UTF-8. Exit code 2 for bad arguments.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int cmStartReading = 100;  // ui/VantrelUnit.cpp
constexpr int cmStopReading = 101;
constexpr int idCleanButton = 201;  // the main window's "清理(&C)"
const wchar_t ReadingPrefix[] = L"正在读取磁盘信息";
const wchar_t FreeSpacePrefix[] = L"当前可用空间";
const wchar_t CleanedPrefix[] = L"通过清理释放的空间";

void Print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

std::wstring TextOf(HWND wnd) {
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(wnd, buffer, 1024);  // another process's window: the stored text, no message
    return buffer;
}

std::wstring ClassOf(HWND wnd) {
    wchar_t buffer[256] = {};
    ::GetClassNameW(wnd, buffer, 256);
    return buffer;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND wnd, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

int Texts(const std::wstring& prefix) {
    for (HWND wnd : TopLevelWindows()) {
        if (!::IsWindowVisible(wnd)) continue;
        const std::wstring title = TextOf(wnd);
        if (title.compare(0, prefix.size(), prefix) != 0) continue;
        Print(L"window " + std::to_wstring(reinterpret_cast<uintptr_t>(wnd)) + L" " + ClassOf(wnd) + L" " + title);
        for (HWND child : Children(wnd)) Print(L"  " + ClassOf(child) + L": " + TextOf(child));
    }
    return 0;
}

HWND MainForm() { return ::FindWindowW(L"TVantrelForm", nullptr); }

bool AnyStatusStartsWith(HWND form, const wchar_t* prefix) {
    const size_t length = wcslen(prefix);
    for (HWND child : Children(form))
        if (ClassOf(child) == L"Static" || ClassOf(child) == L"STATIC")
            if (TextOf(child).compare(0, length, prefix) == 0) return true;
    return false;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

LARGE_INTEGER Clock() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
}

// Round-trip time of a message sent to the main window, or the timeout.
double Ping(HWND form) {
    const LARGE_INTEGER start = Clock();
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
    return Milliseconds(start, Clock());
}

// Polls (about every millisecond) until a status line of the main window starts
// with Prefix; the milliseconds waited, or -1 after TimeoutMs. With PingMax, the
// window is pinged every 50 ms meanwhile and the slowest answer kept.
double WaitStatus(const wchar_t* prefix, double timeoutMs, double* pingMax = nullptr) {
    const LARGE_INTEGER start = Clock();
    LARGE_INTEGER lastPing = start;
    for (;;) {
        HWND form = MainForm();
        if (form != nullptr && AnyStatusStartsWith(form, prefix)) return Milliseconds(start, Clock());
        if (Milliseconds(start, Clock()) > timeoutMs) return -1;
        if (pingMax != nullptr && form != nullptr && Milliseconds(lastPing, Clock()) >= 50) {
            *pingMax = std::max(*pingMax, Ping(form));
            lastPing = Clock();
        }
        ::Sleep(1);
    }
}

int StopLatency(int rounds, int readingMs, int timeoutSeconds) {
    const double timeoutMs = timeoutSeconds * 1000.0;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        if (WaitStatus(ReadingPrefix, timeoutMs) < 0) {
            Print(L"error=not reading");
            return 1;
        }
        HWND form = MainForm();
        double pingMax = 0;
        const LARGE_INTEGER readingFrom = Clock();
        while (Milliseconds(readingFrom, Clock()) < readingMs) {
            pingMax = std::max(pingMax, Ping(form));
            ::Sleep(20);
        }
        if (!AnyStatusStartsWith(form, ReadingPrefix)) {
            Print(L"error=the pass ended before the stop request");
            return 1;
        }
        const LARGE_INTEGER stopAt = Clock();
        ::PostMessageW(form, WM_COMMAND, cmStopReading, 0);
        double stopMs = -1;
        while (Milliseconds(stopAt, Clock()) < timeoutMs) {
            if (AnyStatusStartsWith(form, FreeSpacePrefix)) {
                stopMs = Milliseconds(stopAt, Clock());
                break;
            }
            ::Sleep(1);
        }
        Print(L"ping_max_ms=" + std::to_wstring(pingMax));
        Print(L"stop_ms=" + std::to_wstring(stopMs));
        if (stopMs < 0) ++failures;
        if (round + 1 < rounds) ::PostMessageW(form, WM_COMMAND, cmStartReading, 0);
    }
    return failures == 0 ? 0 : 1;
}

// --- captions ---

std::wstring BesideThisProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L'\\') + 1);
    return folder + name;
}

std::wstring QuotedCommandLine(int first, int argc, wchar_t** argv) {
    std::wstring line;
    for (int i = first; i < argc; ++i) {
        if (!line.empty()) line += L' ';
        line += L'"';
        line += argv[i];
        line += L'"';
    }
    return line;
}

// The distinct lines of the UTF-16 log the hook wrote, in order.
std::vector<std::wstring> LoggedCaptions(const std::wstring& log) {
    std::vector<std::wstring> captions;
    HANDLE file = ::CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return captions;
    std::wstring text;
    wchar_t buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read / sizeof(wchar_t));
    ::CloseHandle(file);
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        const std::wstring caption = text.substr(start, end - start);
        if (std::find(captions.begin(), captions.end(), caption) == captions.end()) captions.push_back(caption);
    }
    return captions;
}

int Captions(int timeoutSeconds, int first, int argc, wchar_t** argv) {
    HMODULE hookLibrary = ::LoadLibraryW(BesideThisProgram(L"caption-hook.dll").c_str());
    const auto hookProc =
        hookLibrary ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(::GetProcAddress(hookLibrary, "CaptionHookProc")))
                    : nullptr;
    if (hookProc == nullptr) {
        Print(L"error=caption-hook.dll not found beside window-probe.exe");
        return 2;
    }
    const std::wstring log = BesideThisProgram(L"captions-") + std::to_wstring(::GetCurrentProcessId()) + L".log";
    ::DeleteFileW(log.c_str());
    ::SetEnvironmentVariableW(L"VT_CAPTION_LOG", log.c_str());  // inherited by the program

    for (; first < argc; ++first) {
        const std::wstring argument = argv[first];
        const size_t equals = argument.find(L'=');
        if (equals == std::wstring::npos || equals == 0 || argument.find(L'\\') < equals) break;
        const std::wstring name = argument.substr(0, equals), value = argument.substr(equals + 1);
        ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    }
    if (first >= argc) {
        Print(L"error=no program given");
        return 2;
    }
    std::wstring commandLine = QuotedCommandLine(first, argc, argv);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                          &startup, &process)) {
        Print(L"error=cannot start (" + std::to_wstring(::GetLastError()) + L")");
        return 2;
    }
    // Hooked before the program's first instruction: no window of its main
    // thread can get a caption unseen.
    HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROCRET, hookProc, hookLibrary, process.dwThreadId);
    ::ResumeThread(process.hThread);
    const bool ended = ::WaitForSingleObject(process.hProcess, DWORD(timeoutSeconds) * 1000) == WAIT_OBJECT_0;
    if (!ended) {
        ::TerminateProcess(process.hProcess, 124);
        ::WaitForSingleObject(process.hProcess, 5000);
    }
    if (hook) ::UnhookWindowsHookEx(hook);
    if (!hook) Print(L"error=hook not set (" + std::to_wstring(::GetLastError()) + L")");
    for (const auto& caption : LoggedCaptions(log)) Print(L"caption=" + caption);
    ::DeleteFileW(log.c_str());
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    Print(ended ? L"exit_code=" + std::to_wstring(code) : std::wstring(L"exit_code=timeout"));
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return ended && hook ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"texts" && argc == 3) return Texts(argv[2]);
    if (command == L"stop-latency" && argc == 5) return StopLatency(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
    if (command == L"wait-status" && argc == 4) {
        double pingMax = 0;
        const double waited = WaitStatus(argv[2], _wtoi(argv[3]) * 1000.0, &pingMax);
        Print(L"waited_ms=" + std::to_wstring(waited));
        Print(L"ping_max_ms=" + std::to_wstring(pingMax));
        return waited < 0 ? 1 : 0;
    }
    if (command == L"clean" && argc == 3) {
        HWND form = MainForm();
        if (form == nullptr || !::PostMessageW(form, WM_COMMAND, idCleanButton, 0)) return 1;
        const double waited = WaitStatus(CleanedPrefix, _wtoi(argv[2]) * 1000.0);
        Print(L"waited_ms=" + std::to_wstring(waited));
        return waited < 0 ? 1 : 0;
    }
    if (command == L"close" && argc == 2) {
        HWND form = MainForm();
        return form != nullptr && ::PostMessageW(form, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (command == L"captions" && argc >= 4) return Captions(_wtoi(argv[2]), 3, argc, argv);
    Print(L"usage: window-probe texts <title-prefix> | stop-latency <rounds> <reading-ms> <timeout-s> | "
          L"wait-status <prefix> <timeout-s> | clean <timeout-s> | close | captions <timeout-s> <program> [arguments...]");
    return 2;
}
