#include "ui/ActionCheckList.h"

#include "platform/ErrorBox.h"
#include "ui/ErrorReport.h"
#include "platform/Gdi.h"
#include "ui/CheckListAccessible.h"

#include <commctrl.h>
#include <oleacc.h>
#include <windowsx.h>

#include <algorithm>

namespace {

constexpr COLORREF StateColours[3] = {RGB(170, 210, 255), RGB(255, 180, 180), RGB(180, 255, 180)};

// The tick, one string per row from row 4 down, columns 4 to 10 ('#' = black).
constexpr const char* TickRows[] = {
    "      #",  // row 4
    "     ##",  // row 5
    "#   ## ",  // row 6
    "## ##  ",  // row 7
    " ###   ",  // row 8
    "  #    ",  // row 9
};

int ImageForState(TCleanupItemState state) {
    switch (state) {
        case TCleanupItemState::csFilesFound: return 1;
        case TCleanupItemState::csNothingFound: return 2;
        default: return 0;
    }
}

std::wstring WithTooltipLineBreaks(const std::wstring& text) {
    std::wstring result;
    for (wchar_t c : text) {
        if (c == L'\r') result += L"\r\n";
        else result.push_back(c);
    }
    return result;
}

}  // namespace

void DrawStateImage(HDC dc, int x, int y, int image, bool ticked, TDpi dpi) {
    RECT square{x + dpi(3), y + dpi(2), x + dpi(12), y + dpi(11)};
    TBrush brush(::CreateSolidBrush(StateColours[image]));
    ::FillRect(dc, &square, brush.Get());
    if (ticked) DrawTick(dc, x + dpi(4), y + dpi(4), dpi);
}

// Each pixel of the tick becomes a block of the scale's size, so it keeps its shape.
void DrawTick(HDC dc, int x, int y, TDpi dpi) {
    TBrush black(::CreateSolidBrush(RGB(0, 0, 0)));
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 7; ++column)
            if (TickRows[row][column] == '#') {
                RECT pixel{x + dpi(column), y + dpi(row), x + dpi(column + 1), y + dpi(row + 1)};
                ::FillRect(dc, &pixel, black.Get());
            }
}

TActionCheckList::~TActionCheckList() {
    if (FAccessible != nullptr) {
        FAccessible->Disconnect();
        FAccessible->Release();
    }
}

void TActionCheckList::Create(HWND parent, int controlId, HFONT font) {
    FHandle = ::CreateWindowExW(0, L"LISTBOX", L"",
                                WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_MULTICOLUMN |
                                    LBS_NOINTEGRALHEIGHT | LBS_NOSEL,
                                0, 0, 10, 10, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                ::GetModuleHandleW(nullptr), nullptr);
    if (FHandle == nullptr) RaiseLastOSError();
    ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageW(FHandle, LB_SETITEMHEIGHT, 0, RowHeight);
    ::SetWindowSubclass(FHandle, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
    CreateHintWindow();
}

void TActionCheckList::CreateHintWindow() {
    FHintWindow = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FHandle, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (FHintWindow == nullptr) return;  // no hints is not worth failing the window for
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = FHandle;
    tool.uId = reinterpret_cast<UINT_PTR>(FHandle);
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(FHintWindow, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(FHintWindow, TTM_SETMAXTIPWIDTH, 0, 600);
    // Hints appear only after the mouse has rested for two seconds.
    ::SendMessageW(FHintWindow, TTM_SETDELAYTIME, TTDT_INITIAL, 2000);
    ::SendMessageW(FHintWindow, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
}

void TActionCheckList::SetBounds(int x, int y, int width, int height, int rows) {
    FItemHeight = rows > 0 ? std::max(1, height / rows) : FDpi(RowHeight);
    ::SendMessageW(FHandle, LB_SETITEMHEIGHT, 0, FItemHeight);
    ::MoveWindow(FHandle, x, y, width, height, TRUE);
    ::SendMessageW(FHandle, LB_SETCOLUMNWIDTH, static_cast<WPARAM>(width / Columns), 0);
    ::SendMessageW(FHintWindow, TTM_SETMAXTIPWIDTH, 0, FDpi(600));
}

int TActionCheckList::RowsPerColumn() const {
    RECT client;
    ::GetClientRect(FHandle, &client);
    return std::max(1, static_cast<int>(client.bottom) / std::max(1, FItemHeight));
}

int TActionCheckList::AddRow(const std::wstring& text, bool checked) {
    const LRESULT index = ::SendMessageW(FHandle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    FChecked.push_back(checked);
    return static_cast<int>(index);
}

void TActionCheckList::Clear() {
    ::SendMessageW(FHandle, LB_RESETCONTENT, 0, 0);
    FChecked.clear();
}

void TActionCheckList::SetChecked(int row, bool checked) {
    const bool changed = FChecked.at(static_cast<size_t>(row)) != checked;
    FChecked.at(static_cast<size_t>(row)) = checked;
    RECT rect = RowRect(row);
    if (!::IsRectEmpty(&rect)) ::InvalidateRect(FHandle, &rect, FALSE);
    if (changed) ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, FHandle, OBJID_CLIENT, row + 1);
}

void TActionCheckList::ToggleRow(int row) {
    if (row < 0 || row >= Count()) return;
    SetChecked(row, !Checked(row));
    if (OnCheckClick) OnCheckClick(row);
    if (OnRowClick) OnRowClick(row);
}

RECT TActionCheckList::RowRect(int row) const {
    RECT rect{};
    if (::SendMessageW(FHandle, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect)) == LB_ERR)
        return RECT{};
    return rect;
}

void TActionCheckList::SetFocusRow(int row) {
    if (Count() == 0) return;
    row = std::clamp(row, 0, Count() - 1);
    if (row == FFocusRow) return;
    for (int old : {FFocusRow, row}) {
        RECT rect = RowRect(old);
        if (!::IsRectEmpty(&rect)) ::InvalidateRect(FHandle, &rect, FALSE);
    }
    FFocusRow = row;
    if (::GetFocus() == FHandle) ::NotifyWinEvent(EVENT_OBJECT_FOCUS, FHandle, OBJID_CLIENT, row + 1);
}

std::wstring TActionCheckList::RowText(int row) const {
    const LRESULT length = ::SendMessageW(FHandle, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
    if (length == LB_ERR) return L"";
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    ::SendMessageW(FHandle, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

void TActionCheckList::SetRowText(int row, const std::wstring& text) {
    if (row < 0 || row >= Count() || RowText(row) == text) return;
    ::SendMessageW(FHandle, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(FHandle, LB_DELETESTRING, static_cast<WPARAM>(row), 0);
    ::SendMessageW(FHandle, LB_INSERTSTRING, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.c_str()));
    ::SendMessageW(FHandle, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(FHandle, nullptr, FALSE);
    ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, FHandle, OBJID_CLIENT, row + 1);
}

int TActionCheckList::RowAt(POINT point) const {
    for (int row = 0; row < Count(); ++row) {
        RECT rect;
        if (::SendMessageW(FHandle, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect)) == LB_ERR)
            continue;
        if (::PtInRect(&rect, point)) return row;
    }
    return -1;
}

void TActionCheckList::DrawRow(const DRAWITEMSTRUCT& item, TCleanupItemState state) const {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const int row = static_cast<int>(item.itemID);
    HDC dc = item.hDC;
    RECT whole = item.rcItem;
    RECT text = whole;
    text.left += FDpi(CheckWidth);
    ::FillRect(dc, &whole, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    DrawStateImage(dc, text.left - FDpi(15), text.top, ImageForState(state), Checked(row), FDpi);
    const std::wstring name = RowText(row);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::ExtTextOutW(dc, text.left, text.top, ETO_CLIPPED, &text, name.c_str(), static_cast<UINT>(name.size()), nullptr);
    if (row == FFocusRow && ::GetFocus() == FHandle) {
        const LRESULT cues = ::SendMessageW(FHandle, WM_QUERYUISTATE, 0, 0);
        if ((cues & UISF_HIDEFOCUS) == 0) {
            SIZE extent{};
            ::GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &extent);
            RECT focus{text.left - 1, text.top, std::min<LONG>(text.right, text.left + extent.cx + 2), text.bottom};
            ::DrawFocusRect(dc, &focus);
        }
    }
}

void TActionCheckList::SetHint(const std::wstring& hint) {
    if (hint == FHint) return;
    FHint = hint;
    FHintDisplay = WithTooltipLineBreaks(hint);
    if (FHintWindow == nullptr) return;
    ::SendMessageW(FHintWindow, TTM_POP, 0, 0);
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = FHandle;
    tool.uId = reinterpret_cast<UINT_PTR>(FHandle);
    tool.lpszText = const_cast<wchar_t*>(FHintDisplay.c_str());
    ::SendMessageW(FHintWindow, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool TActionCheckList::HandleKeyDown(WPARAM key) {
    if (Count() == 0) return false;
    const int row = std::max(FFocusRow, 0);
    switch (key) {
        case VK_UP: SetFocusRow(row - 1); return true;
        case VK_DOWN: SetFocusRow(row + 1); return true;
        case VK_LEFT: SetFocusRow(row - RowsPerColumn()); return true;
        case VK_RIGHT: SetFocusRow(row + RowsPerColumn()); return true;
        case VK_HOME: SetFocusRow(0); return true;
        case VK_END: SetFocusRow(Count() - 1); return true;
        case VK_SPACE:
            SetFocusRow(row);
            ToggleRow(row);
            return true;
        case VK_RETURN:
            SetFocusRow(row);
            if (OnRowClick) OnRowClick(row);
            return true;
    }
    return false;
}

LRESULT TActionCheckList::HandleGetObject(WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT) return ::DefSubclassProc(FHandle, WM_GETOBJECT, wParam, lParam);
    if (FAccessible == nullptr) FAccessible = new TCheckListAccessible(this);
    return FAccessible->ResultForClient(wParam);
}

LRESULT TActionCheckList::HandleMouseDown(POINT point) {
    const int row = RowAt(point);
    if (row < 0) return 0;
    RECT rect = RowRect(row);
    if (point.x < rect.left + FDpi(CheckWidth)) {
        SetChecked(row, !Checked(row));
        if (OnCheckClick) OnCheckClick(row);
    }
    if (OnRowClick) OnRowClick(row);
    return 0;
}

LRESULT CALLBACK TActionCheckList::SubclassProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                DWORD_PTR data) {
    auto* self = reinterpret_cast<TActionCheckList*>(data);
    try {
        switch (message) {
            case WM_LBUTTONDOWN:
            case WM_LBUTTONDBLCLK:
                // The list box itself never sees the click: no selection, no focus.
                return self->HandleMouseDown(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            case WM_KEYDOWN:
                if (self->HandleKeyDown(wParam)) return 0;
                break;
            case WM_CHAR:
                if (wParam == L' ' || wParam == L'\r') return 0;  // taken by WM_KEYDOWN
                break;
            case WM_SYSCHAR:
                // Alt with a letter belongs to the window (its button and menu bar), not to the list.
                return ::SendMessageW(::GetParent(wnd), message, wParam, lParam);
            case WM_GETDLGCODE:
                return DLGC_WANTARROWS | DLGC_WANTCHARS;
            case WM_SETFOCUS:
            case WM_KILLFOCUS: {
                if (message == WM_SETFOCUS && self->FFocusRow < 0 && self->Count() > 0) self->FFocusRow = 0;
                RECT rect = self->RowRect(self->FFocusRow);
                if (!::IsRectEmpty(&rect)) ::InvalidateRect(wnd, &rect, FALSE);
                if (message == WM_SETFOCUS && self->FFocusRow >= 0)
                    ::NotifyWinEvent(EVENT_OBJECT_FOCUS, wnd, OBJID_CLIENT, self->FFocusRow + 1);
                break;
            }
            case WM_GETOBJECT:
                return self->HandleGetObject(wParam, lParam);
            case WM_MOUSEMOVE:
                if (self->OnMouseMove) self->OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
                break;
            case WM_CONTEXTMENU:
                if (self->OnContextMenu) {
                    self->OnContextMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
                    return 0;
                }
                break;
            case WM_NCDESTROY:
                ::RemoveWindowSubclass(wnd, SubclassProc, 1);
                self->FHandle = nullptr;
                break;
        }
    } catch (...) {
        ReportCurrentException(::GetAncestor(wnd, GA_ROOT));
        return 0;
    }
    return ::DefSubclassProc(wnd, message, wParam, lParam);
}
