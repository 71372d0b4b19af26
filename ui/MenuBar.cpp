#include "ui/MenuBar.h"

#include "platform/Gdi.h"
#include "ui/MenuLook.h"

#include <windowsx.h>

#include <cwctype>
#include <string>

namespace {

constexpr int ItemPadding = 7;  // at 96 DPI, either side of an item's text
constexpr COLORREF HotFrameColour = RGB(165, 163, 155);

// The bar whose pop-up menu is open (there is one thread and one menu at a time).
TMenuBar* GTrackingBar = nullptr;
HHOOK GFilterHook = nullptr;

wchar_t AcceleratorOf(const std::wstring& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'&') {
            if (text[i + 1] != L'&') return static_cast<wchar_t>(std::towupper(text[i + 1]));
            ++i;
        }
    return 0;
}

}  // namespace

TMenuBar::~TMenuBar() { DestroyHandle(); }

void TMenuBar::Create(HWND owner, HMENU model, HFONT font) {
    FOwner = owner;
    FModel = model;
    FFont = font;
    FDpi = DpiOfWindow(owner);
    TCreateArgs args;
    args.ClassName = L"TVantrelMenuBar";
    args.Style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    args.X = args.Y = 0;
    args.Width = 1;
    args.Height = FDpi(Height);
    args.Parent = owner;
    CreateHandle(args);
}

void TMenuBar::SetDpi(TDpi dpi, HFONT font) {
    FDpi = dpi;
    FFont = font;
    Refresh();
}

void TMenuBar::Refresh() {
    if (Handle() != nullptr) ::InvalidateRect(Handle(), nullptr, TRUE);
}

int TMenuBar::ItemCount() const { return ::GetMenuItemCount(FModel); }

std::wstring TMenuBar::ItemText(int index) const {
    wchar_t text[128] = {};
    ::GetMenuStringW(FModel, static_cast<UINT>(index), text, 128, MF_BYPOSITION);
    return text;
}

bool TMenuBar::ItemEnabled(int index) const {
    return (::GetMenuState(FModel, static_cast<UINT>(index), MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED)) == 0;
}

RECT TMenuBar::ItemRect(int index) const {
    TWindowDC dc(Handle());
    TSelectObject selected(dc.Get(), FFont);
    int left = FDpi(2);
    for (int i = 0; i < ItemCount(); ++i) {
        const std::wstring text = ItemText(i);
        RECT bounds{0, 0, 0, 0};
        ::DrawTextW(dc.Get(), text.c_str(), -1, &bounds, DT_CALCRECT | DT_SINGLELINE);
        const int width = bounds.right + 2 * FDpi(ItemPadding);
        if (i == index) return RECT{left, 0, left + width, FDpi(Height)};
        left += width;
    }
    return RECT{};
}

int TMenuBar::ItemAt(POINT point) const {
    for (int i = 0; i < ItemCount(); ++i) {
        const RECT r = ItemRect(i);
        if (::PtInRect(&r, point)) return i;
    }
    return -1;
}

void TMenuBar::SetHot(int index) {
    if (index == FHot) return;
    FHot = index;
    Refresh();
}

void TMenuBar::Paint() {
    TPaintDC paint(Handle());
    HDC dc = paint.Get();
    RECT client;
    ::GetClientRect(Handle(), &client);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    TSelectObject selected(dc, FFont);
    ::SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < ItemCount(); ++i) {
        RECT r = ItemRect(i);
        const bool enabled = ItemEnabled(i);
        if (i == FOpen || (i == FHot && enabled)) {
            // An open item shows in the button face, a hot one in the highlight.
            TBrush fill(::CreateSolidBrush(i == FOpen ? ::GetSysColor(COLOR_BTNFACE) : MenuHighlightColour));
            ::FillRect(dc, &r, fill.Get());
            TBrush frame(::CreateSolidBrush(HotFrameColour));
            ::FrameRect(dc, &r, frame.Get());
        }
        ::SetTextColor(dc, ::GetSysColor(enabled ? COLOR_MENUTEXT : COLOR_GRAYTEXT));
        const std::wstring text = ItemText(i);
        ::DrawTextW(dc, text.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
}

bool TMenuBar::HandleAccelerator(wchar_t key) {
    const wchar_t upper = static_cast<wchar_t>(std::towupper(key));
    for (int i = 0; i < ItemCount(); ++i)
        if (AcceleratorOf(ItemText(i)) == upper) {
            Activate(i, true);
            return true;
        }
    return false;
}

void TMenuBar::OpenFirst() {
    if (ItemCount() > 0) Activate(0, true);
}

void TMenuBar::Activate(int index, bool fromKeyboard) {
    while (index >= 0 && index < ItemCount()) {
        HMENU popup = ::GetSubMenu(FModel, index);
        if (popup == nullptr) {
            const UINT id = ::GetMenuItemID(FModel, index);
            if (ItemEnabled(index)) ::PostMessageW(FOwner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
            return;
        }
        FOpen = index;
        FNext = -1;
        Refresh();
        ::UpdateWindow(Handle());
        RECT item = ItemRect(index);
        ::MapWindowPoints(Handle(), nullptr, reinterpret_cast<POINT*>(&item), 2);
        TPMPARAMS params{};
        params.cbSize = sizeof(params);
        params.rcExclude = item;
        // Opened from the keyboard, the first item is selected, as in a system menu.
        if (fromKeyboard) ::PostMessageW(FOwner, WM_KEYDOWN, VK_DOWN, 0);
        GTrackingBar = this;
        GFilterHook = ::SetWindowsHookExW(WH_MSGFILTER, MenuFilter, nullptr, ::GetCurrentThreadId());
        ::TrackPopupMenuEx(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_VERTICAL, item.left,
                           item.bottom, FOwner, &params);
        if (GFilterHook != nullptr) ::UnhookWindowsHookEx(GFilterHook);
        GFilterHook = nullptr;
        GTrackingBar = nullptr;
        FOpen = -1;
        POINT cursor;
        ::GetCursorPos(&cursor);
        ::ScreenToClient(Handle(), &cursor);
        FHot = ItemAt(cursor);
        Refresh();
        index = FNext;
        fromKeyboard = FNextFromKeyboard;
    }
}

// While a pop-up menu is open: Left and Right move to the neighbouring bar item,
// and the mouse moving onto another bar item opens that one.
LRESULT CALLBACK TMenuBar::MenuFilter(int code, WPARAM wParam, LPARAM lParam) {
    TMenuBar* bar = GTrackingBar;
    if (code == MSGF_MENU && bar != nullptr) {
        const MSG& msg = *reinterpret_cast<const MSG*>(lParam);
        const int count = bar->ItemCount();
        if (msg.message == WM_KEYDOWN && (msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT) && count > 1) {
            const int step = msg.wParam == VK_LEFT ? count - 1 : 1;
            int next = (bar->FOpen + step) % count;
            while (::GetSubMenu(bar->FModel, next) == nullptr && next != bar->FOpen) next = (next + step) % count;
            bar->FNext = next;
            bar->FNextFromKeyboard = true;
            ::EndMenu();
            return TRUE;
        }
        if (msg.message == WM_MOUSEMOVE) {
            POINT point{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
            ::ClientToScreen(msg.hwnd, &point);
            ::ScreenToClient(bar->Handle(), &point);
            const int item = bar->ItemAt(point);
            if (item >= 0 && item != bar->FOpen && ::GetSubMenu(bar->FModel, item) != nullptr) {
                bar->FNext = item;
                bar->FNextFromKeyboard = false;
                ::EndMenu();
                return TRUE;
            }
        }
    }
    return ::CallNextHookEx(GFilterHook, code, wParam, lParam);
}

LRESULT TMenuBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE: {
            SetHot(ItemAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
            TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Handle(), 0};
            ::TrackMouseEvent(&track);
            return 0;
        }
        case WM_MOUSELEAVE:
            SetHot(-1);
            return 0;
        case WM_LBUTTONDOWN: {
            const int item = ItemAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (item >= 0) Activate(item, false);
            return 0;
        }
    }
    return DefaultHandler(message, wParam, lParam);
}
