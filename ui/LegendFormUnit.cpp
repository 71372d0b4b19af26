#include "ui/LegendFormUnit.h"
#include "texts/Texts.h"

#include "ui/ActionCheckList.h"

#include "platform/Gdi.h"

namespace {

struct TLegendRow {
    COLORREF Colour;
    bool Ticked;
    TTextId Text;
};

constexpr TLegendRow LegendRows[TLegendForm::RowCount] = {
    {RGB(180, 255, 180), false, TTextId::LegendNothingFound},
    {RGB(255, 180, 180), false, TTextId::LegendFilesFound},
    {RGB(170, 210, 255), false, TTextId::LegendNotCounted},
    {RGB(255, 255, 255), true, TTextId::LegendChecked},
    {RGB(255, 255, 255), false, TTextId::LegendUnchecked},
};

constexpr int RowsLeft = 12, RowsTop = 10, TextGap = 8;

}  // namespace

void DrawLegendSquare(HDC dc, int x, int y, COLORREF colour, bool ticked, TDpi dpi) {
    const int size = dpi(TLegendForm::SquareSize), line = dpi(1);
    RECT frame{x, y, x + size, y + size};
    TBrush black(::CreateSolidBrush(RGB(0, 0, 0)));
    ::FillRect(dc, &frame, black.Get());
    RECT inside{x + line, y + line, x + size - line, y + size - line};
    TBrush fill(::CreateSolidBrush(colour));
    ::FillRect(dc, &inside, fill.Get());
    // Placed inside the frame as the list places it on its square.
    if (ticked) DrawTick(dc, x + dpi(2), y + dpi(3), dpi);
}

TLegendForm::TLegendForm(HWND owner) {
    TFormArgs args;
    args.ClassName = L"TLegendForm";
    args.Caption = LoadText(TTextId::LegendCaption);
    args.ClientWidth = ClientWidth + 2 * Border;
    args.ClientHeight = ClientHeight + 2 * Border;
    args.CloseBox = false;
    CreateForm(args, owner);
}

TLegendForm::~TLegendForm() { DestroyHandle(); }

void TLegendForm::CreateControls() {
    const int buttonWidth = 75, buttonHeight = 23;
    const int barTop = Border + ClientHeight - BarHeight;
    FOKButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonOK), WS_TABSTOP | BS_DEFPUSHBUTTON,
                           S(Border + (ClientWidth - buttonWidth) / 2), S(barTop + (BarHeight - buttonHeight) / 2),
                           S(buttonWidth), S(buttonHeight), IDOK);
}

bool TLegendForm::HandleEnter() {
    SetModalResult(mrOk);
    return true;
}

void TLegendForm::Paint() {
    TPaintDC paint(Handle());
    HDC dc = paint.Get();
    RECT panel = S(RECT{Border, Border, Border + ClientWidth, Border + ClientHeight - BarHeight});
    ::FillRect(dc, &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(dc, &panel, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
    TSelectObject font(dc, Font());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    for (int i = 0; i < RowCount; ++i) {
        const TLegendRow& row = LegendRows[i];
        const int x = panel.left + S(RowsLeft), y = panel.top + S(RowsTop + i * RowSpacing);
        DrawLegendSquare(dc, x, y, row.Colour, row.Ticked, Dpi());
        // The text's middle level with the square's.
        const int textTop = y + (S(SquareSize) - metrics.tmHeight) / 2;
        const std::wstring& text = LoadText(row.Text);
        ::TextOutW(dc, x + S(SquareSize + TextGap), textTop, text.c_str(), static_cast<int>(text.size()));
    }
}

LRESULT TLegendForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) SetModalResult(mrOk);
            return 0;
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) break;
            ::SetFocus(FOKButton);
            return 0;
    }
    return TModalForm::HandleMessage(message, wParam, lParam);
}

int ShowLegend(HWND owner) {
    TLegendForm form(owner);
    return form.ShowModal(owner);
}
