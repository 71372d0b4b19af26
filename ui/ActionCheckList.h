// The main window's list of cleanup actions: an owner-drawn, two-column list
// box whose rows carry a coloured state square, a tick and the action's name.
// The list never keeps a selection or the focus: a click on the check area
// toggles the tick, a click on the text is reported as a row click.
// From the keyboard, the arrows move a focus row (drawn with the focus
// rectangle), space ticks it and Enter reports it as a row click. Accessibility
// clients see each row as a check button named after its action (ui/CheckListAccessible.h).
#pragma once

#include "engine/VantrelClasses.h"
#include "ui/Dpi.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class TCheckListAccessible;

class TActionCheckList {
public:
    // At 96 DPI.
    static constexpr int RowHeight = 13;
    static constexpr int Columns = 2;
    // The check box area left of a row's text; the state square is drawn over it.
    static constexpr int CheckWidth = 15;

    TActionCheckList() = default;
    TActionCheckList(const TActionCheckList&) = delete;
    TActionCheckList& operator=(const TActionCheckList&) = delete;
    ~TActionCheckList();

    // Creates the list box as a child of Parent.
    void Create(HWND parent, int controlId, HFONT font);
    HWND Handle() const { return FHandle; }
    void SetDpi(TDpi dpi) { FDpi = dpi; }
    // Places the list; Rows rows per column share its height in whole pixels.
    void SetBounds(int x, int y, int width, int height, int rows);
    // The height of a row as the list box has it now.
    int ItemHeight() const { return FItemHeight; }

    int AddRow(const std::wstring& text, bool checked);
    void Clear();
    int Count() const { return static_cast<int>(FChecked.size()); }
    bool Checked(int row) const { return FChecked.at(static_cast<size_t>(row)); }
    void SetChecked(int row, bool checked);
    // Toggles the tick of Row as a click on its box does (OnCheckClick, then OnRowClick).
    void ToggleRow(int row);
    std::wstring RowText(int row) const;
    // Shows another text for the row (its tick and place stay).
    void SetRowText(int row, const std::wstring& text);
    // The row the keyboard works on, or -1.
    int FocusRow() const { return FFocusRow; }
    void SetFocusRow(int row);
    RECT RowRect(int row) const;
    // The row under a point in list coordinates, or -1 where there is none.
    int RowAt(POINT point) const;
    // Rows per column for a given client height.
    static int RowsFor(int rowCount) { return (rowCount + 1) / Columns; }

    // Draws one row (WM_DRAWITEM of the parent). State chooses the square's colour.
    void DrawRow(const DRAWITEMSTRUCT& item, TCleanupItemState state) const;

    // The hint shown for the list; an empty text shows none.
    void SetHint(const std::wstring& hint);
    const std::wstring& Hint() const { return FHint; }

    std::function<void(int Row)> OnCheckClick;  // the tick of Row was toggled by the mouse
    std::function<void(int Row)> OnRowClick;    // a click on Row (after OnCheckClick when on the box)
    std::function<void(POINT Point)> OnMouseMove;
    std::function<void(POINT ScreenPoint)> OnContextMenu;

private:
    static LRESULT CALLBACK SubclassProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);
    LRESULT HandleMouseDown(POINT point);
    bool HandleKeyDown(WPARAM key);
    LRESULT HandleGetObject(WPARAM wParam, LPARAM lParam);
    void CreateHintWindow();
    int RowsPerColumn() const;

    HWND FHandle = nullptr;
    TDpi FDpi;
    int FItemHeight = RowHeight;
    int FFocusRow = -1;
    TCheckListAccessible* FAccessible = nullptr;  // one reference held while the list exists
    HWND FHintWindow = nullptr;
    std::wstring FHint;
    std::wstring FHintDisplay;  // FHint with line breaks the tooltip understands
    std::vector<bool> FChecked;
};

// Draws the black tick (7 x 6 pixels at 96 DPI) with its top-left pixel at (X, Y).
void DrawTick(HDC dc, int x, int y, TDpi dpi = TDpi{});

// Draws the 16 x 16 state image (0 light blue, 1 light red, 2 light green) and,
// when Ticked, the tick over it, with the image's top-left corner at (X, Y).
void DrawStateImage(HDC dc, int x, int y, int image, bool ticked, TDpi dpi = TDpi{});
