// caption-hook.dll: loaded by window-probe's "captions" command into the program
// it starts, as a WH_CALLWNDPROCRET hook on the program's main thread. Every
// caption a top-level window of that thread gets - at creation and at each
// WM_SETTEXT - is appended, one UTF-16 line each, to the file named by the
// environment variable VT_CAPTION_LOG. The hook runs inside the program, in
// step with it, so no caption is missed however briefly it was shown.
#include <windows.h>

namespace {

void AppendCaption(HWND wnd) {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"VT_CAPTION_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    wchar_t text[1024] = {};
    int count = ::GetWindowTextW(wnd, text, 1023);
    if (count <= 0) return;
    text[count++] = L'\n';
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text, DWORD(count * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK CaptionHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if ((call->message == WM_CREATE || call->message == WM_SETTEXT) &&
            ::GetAncestor(call->hwnd, GA_ROOT) == call->hwnd)
            AppendCaption(call->hwnd);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
