// The main window's "XP Style" menu bar: a child window across the top of the
// client area, 24 pixels high at 96 DPI, that shows the items of a menu (the
// model, never attached to the window) and opens their pop-up menus below
// itself. Hot items take the highlight RGB (226, 225, 219), an open one the
// button face; accelerators are always underlined. A system menu bar cannot be
// given its height: Windows and Wine size it from the system's metrics.
// Commands reach the owner as WM_COMMAND, as from a system menu.
#pragma once

#include "ui/Dpi.h"
#include "ui/WindowBase.h"

#include <string>

class TMenuBar : public TWindow {
public:
    static constexpr int Height = 24;  // at 96 DPI

    ~TMenuBar() override;
    // Creates the bar as a child of Owner for the items of Model (not owned).
    void Create(HWND owner, HMENU model, HFONT font);
    void SetDpi(TDpi dpi, HFONT font);
    // Redraws after the model's items changed (texts, grey state).
    void Refresh();

    // Alt with a letter: opens or runs the bar item whose accelerator it is.
    // Returns false when no item has it.
    bool HandleAccelerator(wchar_t key);
    // Alt or F10 alone: opens the first pop-up menu.
    void OpenFirst();
    // Opens item Index (its pop-up menu, or runs its command).
    void Activate(int index, bool fromKeyboard);
    int OpenItem() const { return FOpen; }
    // The item's bounds in the bar's client area.
    RECT ItemRect(int index) const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int ItemCount() const;
    std::wstring ItemText(int index) const;
    bool ItemEnabled(int index) const;
    int ItemAt(POINT point) const;
    void SetHot(int index);
    void Paint();
    static LRESULT CALLBACK MenuFilter(int code, WPARAM wParam, LPARAM lParam);

    HWND FOwner = nullptr;
    HMENU FModel = nullptr;
    HFONT FFont = nullptr;  // the owner's
    TDpi FDpi;
    int FHot = -1, FOpen = -1;
    int FNext = -1;  // the item to open once the open pop-up menu has closed
    bool FNextFromKeyboard = false;
};
