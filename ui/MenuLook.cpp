#include "ui/MenuLook.h"

#include "platform/Gdi.h"
#include "ui/ActionImages.h"

#include <algorithm>

namespace {

// At 96 DPI: the pop-up items' height, picture column and text margins.
constexpr int PopupItemHeight = 22;
constexpr int ImageColumn = 24;
constexpr int TextMargin = 8;
constexpr COLORREF HotFrameColour = RGB(165, 163, 155);
constexpr COLORREF ImageColumnColour = RGB(239, 237, 232);

SIZE TextSize(HFONT font, const std::wstring& text) {
    TWindowDC screen(nullptr);
    TSelectObject selected(screen.Get(), font);
    RECT bounds{0, 0, 0, 0};
    ::DrawTextW(screen.Get(), text.c_str(), static_cast<int>(text.size()), &bounds, DT_CALCRECT | DT_SINGLELINE);
    return SIZE{bounds.right, bounds.bottom};
}

void Fill(HDC dc, const RECT& r, COLORREF colour) {
    TBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &r, brush.Get());
}

void Frame(HDC dc, const RECT& r, COLORREF colour) {
    TBrush brush(::CreateSolidBrush(colour));
    ::FrameRect(dc, &r, brush.Get());
}

}  // namespace

void TMenuLook::Append(HMENU menu, UINT id, const std::wstring& text, int image, bool grayed) {
    FItems.push_back(TItem{menu, text, image});
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_ID | MIIM_DATA | MIIM_STATE;
    info.fType = MFT_OWNERDRAW;
    info.fState = grayed ? MFS_GRAYED : MFS_ENABLED;
    info.wID = id;
    info.dwItemData = reinterpret_cast<ULONG_PTR>(&FItems.back());
    info.dwTypeData = const_cast<wchar_t*>(text.c_str());
    ::InsertMenuItemW(menu, static_cast<UINT>(::GetMenuItemCount(menu)), TRUE, &info);
}

void TMenuLook::Forget(HMENU menu) {
    FItems.remove_if([menu](const TItem& item) { return item.Menu == menu; });
}

bool TMenuLook::Measure(HWND, MEASUREITEMSTRUCT& measure) const {
    if (measure.CtlType != ODT_MENU || measure.itemData == 0) return false;
    const auto& item = *reinterpret_cast<const TItem*>(measure.itemData);
    TFont font(CreateProgramFontForDpi(FDpi));
    const SIZE text = TextSize(font.Get(), item.Text);
    measure.itemWidth = static_cast<UINT>(FDpi(ImageColumn) + FDpi(TextMargin) + text.cx + 2 * FDpi(TextMargin));
    measure.itemHeight = static_cast<UINT>(std::max<int>(FDpi(PopupItemHeight), text.cy + FDpi(6)));
    return true;
}

bool TMenuLook::Draw(const DRAWITEMSTRUCT& draw) const {
    if (draw.CtlType != ODT_MENU || draw.itemData == 0) return false;
    const auto& item = *reinterpret_cast<const TItem*>(draw.itemData);
    HDC dc = draw.hDC;
    const bool grayed = (draw.itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    const bool hot = (draw.itemState & (ODS_HOTLIGHT | ODS_SELECTED)) != 0 && !grayed;
    RECT r = draw.rcItem;
    TFont font(CreateProgramFontForDpi(FDpi));
    TSelectObject selected(dc, font.Get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, grayed ? ::GetSysColor(COLOR_GRAYTEXT) : ::GetSysColor(COLOR_MENUTEXT));
    Fill(dc, r, RGB(255, 255, 255));
    RECT column{r.left, r.top, r.left + FDpi(ImageColumn), r.bottom};
    Fill(dc, column, ImageColumnColour);
    if (hot) {
        Fill(dc, r, MenuHighlightColour);
        Frame(dc, r, HotFrameColour);
    }
    if (item.Image != NoImage) {
        const int size = FDpi.SmallIconSize();
        DrawActionImage(dc, item.Image, column.left + (column.right - column.left - size) / 2,
                        r.top + (r.bottom - r.top - size) / 2, size, !grayed);
    }
    RECT text{column.right + FDpi(TextMargin), r.top, r.right - FDpi(TextMargin), r.bottom};
    ::DrawTextW(dc, item.Text.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    return true;
}
