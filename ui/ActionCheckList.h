// The main window's list of cleanup actions: an owner-drawn, two-column list
// box whose rows carry a coloured state square, a tick and the action's name.
// The list never keeps a selection or the focus: a click on the check area
// toggles the tick, a click on the text is reported as a row click.
#pragma once

#include "engine/VantrelClasses.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class TActionCheckList {
public:
    static constexpr int RowHeight = 13;
    static constexpr int Columns = 2;
    // The check box area left of a row's text; the state square is drawn over it.
    static constexpr int CheckWidth = 15;

    // Creates the list box as a child of Parent.
    void Create(HWND parent, int controlId, HFONT font);
    HWND Handle() const { return FHandle; }
    void SetBounds(int x, int y, int width, int height);

    int AddRow(const std::wstring& text, bool checked);
    void Clear();
    int Count() const { return static_cast<int>(FChecked.size()); }
    bool Checked(int row) const { return FChecked.at(static_cast<size_t>(row)); }
    void SetChecked(int row, bool checked);
    std::wstring RowText(int row) const;
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
    void CreateHintWindow();

    HWND FHandle = nullptr;
    HWND FHintWindow = nullptr;
    std::wstring FHint;
    std::wstring FHintDisplay;  // FHint with line breaks the tooltip understands
    std::vector<bool> FChecked;
};

// Draws the black tick (7 x 6 pixels) with its top-left pixel at (X, Y).
void DrawTick(HDC dc, int x, int y);

// Draws the 16 x 16 state image (0 light blue, 1 light red, 2 light green) and,
// when Ticked, the tick over it, with the image's top-left corner at (X, Y).
void DrawStateImage(HDC dc, int x, int y, int image, bool ticked);
