#include "ui/WindowBase.h"

#include "platform/ErrorBox.h"
#include "ui/ErrorReport.h"

std::wstring WindowText(HWND wnd) {
    const int length = ::GetWindowTextLengthW(wnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(wnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

TWindow::~TWindow() { DestroyHandle(); }

void TWindow::CreateHandle(const TCreateArgs& args) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!::GetClassInfoExW(instance, args.ClassName, &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = args.Background;
        wc.hIcon = args.Icon;
        wc.hIconSm = args.Icon;
        wc.lpszClassName = args.ClassName;
        wc.style = CS_DBLCLKS;
        if (!::RegisterClassExW(&wc)) RaiseLastOSError();
    }
    HWND wnd = ::CreateWindowExW(args.ExStyle, args.ClassName, args.Caption.c_str(), args.Style, args.X, args.Y,
                                 args.Width, args.Height, args.Parent, nullptr, instance, this);
    if (wnd == nullptr) RaiseLastOSError();
}

void TWindow::DestroyHandle() {
    if (FHandle != nullptr) ::DestroyWindow(FHandle);
}

LRESULT TWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandler(message, wParam, lParam);
}

LRESULT TWindow::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TWindow::WindowProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    TWindow* self;
    if (message == WM_NCCREATE) {
        self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->FHandle = wnd;
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<TWindow*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    }
    if (self == nullptr) return ::DefWindowProcW(wnd, message, wParam, lParam);

    LRESULT result;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        ReportCurrentException(wnd);
        result = ::DefWindowProcW(wnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        self->FHandle = nullptr;
        self->HandleDestroyed();
    }
    return result;
}
