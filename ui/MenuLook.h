// The main window's "XP Style" pop-up menus (its bar is ui/MenuBar.h):
// owner-drawn items with their picture from the action images (ActionImages.h)
// in a column of their own, highlighted in RGB (226, 225, 219) like the bar.
// The items keep their text, so the system still finds their accelerators and
// GetMenuString reads them.
#pragma once

#include "ui/Dpi.h"

#include <windows.h>

#include <list>
#include <string>

inline constexpr COLORREF MenuHighlightColour = RGB(226, 225, 219);

class TMenuLook {
public:
    static constexpr int NoImage = -1;

    // Appends a command drawn in this look.
    void Append(HMENU menu, UINT id, const std::wstring& text, int image = NoImage, bool grayed = false);
    void SetDpi(TDpi dpi) { FDpi = dpi; }
    // Forgets the items of menus that were destroyed or emptied (their data is no longer used).
    void Forget(HMENU menu);

    // WM_MEASUREITEM and WM_DRAWITEM for ODT_MENU; true when the item was one of ours.
    bool Measure(HWND owner, MEASUREITEMSTRUCT& item) const;
    bool Draw(const DRAWITEMSTRUCT& item) const;

private:
    struct TItem {
        HMENU Menu;
        std::wstring Text;
        int Image;
    };
    std::list<TItem> FItems;  // stable: the items point at their entries
    TDpi FDpi;
};
