#include "ui/FlatButton.h"

#include "platform/Gdi.h"

void DrawFlatButton(const DRAWITEMSTRUCT& item, const std::wstring& text, HICON icon, HFONT font,
                    COLORREF background) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    TBrush fill(::CreateSolidBrush(background));
    ::FillRect(dc, &rect, fill.Get());
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    if (pressed) ::DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
    const int shift = pressed ? 1 : 0;
    int textLeft = rect.left + 6;
    if (icon != nullptr) {
        ::DrawIconEx(dc, rect.left + 6 + shift, rect.top + (rect.bottom - rect.top - 16) / 2 + shift, icon, 16, 16, 0,
                     nullptr, DI_NORMAL);
        textLeft += 20;
    }
    RECT textRect{textLeft + shift, rect.top + shift, rect.right + shift, rect.bottom + shift};
    if (icon == nullptr) textRect.left = rect.left + shift;
    TSelectObject selected(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, disabled ? ::GetSysColor(COLOR_GRAYTEXT) : clNavy);
    ::DrawTextW(dc, text.c_str(), -1, &textRect,
                DT_SINGLELINE | DT_VCENTER | (icon != nullptr ? DT_LEFT : DT_CENTER));
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
        RECT focus = rect;
        ::InflateRect(&focus, -2, -2);
        ::DrawFocusRect(dc, &focus);
    }
}

HICON CleanButtonIcon() {
    static HICON icon = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, 16, 16, LR_SHARED));
    return icon;
}
