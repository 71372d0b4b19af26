// The legend window: what the coloured squares and the tick in front of each
// entry of the main window's action list mean. It does nothing but close.
#pragma once

#include "ui/ModalForm.h"

class TLegendForm : public TModalForm {
public:
    static constexpr int ClientWidth = 324, ClientHeight = 135, Border = 5;
    static constexpr int BarHeight = 30;
    static constexpr int RowCount = 5, RowSpacing = 18, SquareSize = 11;

    // Creates the (hidden) window owned by Owner; ShowModal shows it.
    explicit TLegendForm(HWND owner);
    ~TLegendForm() override;

    HWND OKButton() const { return FOKButton; }

protected:
    void CreateControls() override;
    bool HandleEnter() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint();
    HWND FOKButton = nullptr;
};

// Creates the legend window, shows it modally over Owner and releases it.
int ShowLegend(HWND owner);

// Draws a legend square: an 11 x 11 frame filled with Colour, with the list's
// tick over it when Ticked; (X, Y) is its top-left corner.
void DrawLegendSquare(HDC dc, int x, int y, COLORREF colour, bool ticked, TDpi dpi = TDpi{});
