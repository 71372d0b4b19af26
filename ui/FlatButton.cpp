#include "ui/FlatButton.h"

#include "platform/Gdi.h"
#include "ui/ActionImages.h"

void DrawFlatButton(const DRAWITEMSTRUCT& item, const std::wstring& text, int image, HFONT font,
                    COLORREF background, TDpi dpi) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    TBrush fill(::CreateSolidBrush(background));
    ::FillRect(dc, &rect, fill.Get());
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    if (pressed) ::DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
    const int shift = pressed ? 1 : 0;
    const int margin = dpi(6);
    RECT textRect{rect.left + shift, rect.top + shift, rect.right + shift, rect.bottom + shift};
    if (image != NoButtonImage) {
        const int size = dpi.SmallIconSize();
        DrawActionImage(dc, image, rect.left + margin + shift, rect.top + (rect.bottom - rect.top - size) / 2 + shift,
                        size, !disabled);
        textRect.left = rect.left + margin + size + dpi(4) + shift;
    }
    TSelectObject selected(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, disabled ? ::GetSysColor(COLOR_GRAYTEXT) : clNavy);
    ::DrawTextW(dc, text.c_str(), -1, &textRect,
                DT_SINGLELINE | DT_VCENTER | (image != NoButtonImage ? DT_LEFT : DT_CENTER));
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
        RECT focus = rect;
        ::InflateRect(&focus, -dpi(2), -dpi(2));
        ::DrawFocusRect(dc, &focus);
    }
}
