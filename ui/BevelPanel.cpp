#include "ui/BevelPanel.h"

#include "platform/ErrorBox.h"
#include "platform/Gdi.h"

TBevelPanel::~TBevelPanel() { DestroyHandle(); }

void TBevelPanel::Create(const std::wstring& name, HWND parent, const RECT& bounds, bool bevelled, bool visible) {
    FName = name;
    FBevelled = bevelled;
    TCreateArgs args;
    args.ClassName = L"TVantrelBevelPanel";
    args.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0);
    args.ExStyle = WS_EX_CONTROLPARENT;
    args.X = bounds.left;
    args.Y = bounds.top;
    args.Width = bounds.right - bounds.left;
    args.Height = bounds.bottom - bounds.top;
    args.Parent = parent;
    args.Background = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    CreateHandle(args);
}

HWND TBevelPanel::AddControl(const wchar_t* className, const std::wstring& text, DWORD style, const RECT& bounds,
                             HFONT font, int id) {
    HWND control = ::CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, bounds.left,
                                     bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, Handle(),
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                     nullptr);
    if (control == nullptr) RaiseLastOSError();
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void TBevelPanel::AddFill(const RECT& bounds, COLORREF colour) { FFills.push_back(TFill{bounds, colour}); }

void TBevelPanel::ScaleFills(int newDpi, int oldDpi) {
    for (TFill& fill : FFills) {
        RECT& r = fill.Bounds;
        r = RECT{::MulDiv(r.left, newDpi, oldDpi), ::MulDiv(r.top, newDpi, oldDpi), ::MulDiv(r.right, newDpi, oldDpi),
                 ::MulDiv(r.bottom, newDpi, oldDpi)};
    }
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TBevelPanel::Paint() {
    TPaintDC paint(Handle());
    RECT client;
    ::GetClientRect(Handle(), &client);
    ::FillRect(paint.Get(), &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    for (const TFill& fill : FFills) {
        TBrush brush(::CreateSolidBrush(fill.Colour));
        ::FillRect(paint.Get(), &fill.Bounds, brush.Get());
    }
    if (FBevelled) ::DrawEdge(paint.Get(), &client, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
}

LRESULT TBevelPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            const auto colour = FTextColours.find(reinterpret_cast<HWND>(lParam));
            ::SetTextColor(dc, colour != FTextColours.end() ? colour->second : RGB(0, 0, 0));
            ::SetBkColor(dc, clWhite);
            return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
        }
        case WM_SETCURSOR:
            if (FHandControls.count(reinterpret_cast<HWND>(wParam)) != 0) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_COMMAND:
            if (OnCommand && lParam != 0) OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
            return 0;
    }
    return DefaultHandler(message, wParam, lParam);
}

SIZE MeasureLabelText(HWND label, const std::wstring& text, HFONT font) {
    TWindowDC dc(label);
    TSelectObject selected(dc.Get(), font);
    RECT bounds{0, 0, 0, 0};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &bounds, DT_CALCRECT | DT_NOPREFIX);
    return SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
}
