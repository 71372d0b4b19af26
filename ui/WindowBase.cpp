#include "ui/WindowBase.h"

#include "platform/ErrorBox.h"
#include "ui/ErrorReport.h"
#include "platform/Gdi.h"

#include <commctrl.h>

std::wstring WindowText(HWND wnd) {
    const int length = ::GetWindowTextLengthW(wnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(wnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::vector<std::wstring> ListBoxEntries(HWND listBox) {
    std::vector<std::wstring> entries;
    const int count = static_cast<int>(::SendMessageW(listBox, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        const LRESULT copied =
            ::SendMessageW(listBox, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
        entries.push_back(text);
    }
    return entries;
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

namespace {

LRESULT CALLBACK OwnPaintProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR painter) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            TPaintDC paint(wnd);
            RECT client;
            ::GetClientRect(wnd, &client);
            reinterpret_cast<TControlPainter>(painter)(wnd, paint.Get(), client);
            return 0;
        }
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(wnd, OwnPaintProc, id);
            break;
    }
    return ::DefSubclassProc(wnd, message, wParam, lParam);
}

}  // namespace

void PaintControlWith(HWND control, TControlPainter paint) {
    ::SetWindowSubclass(control, OwnPaintProc, 1, reinterpret_cast<DWORD_PTR>(paint));
}
