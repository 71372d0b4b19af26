#include "ui/ActionImages.h"

#include "platform/Gdi.h"

#include <algorithm>
#include <map>

namespace {

constexpr COLORREF clGreenArrow = RGB(0, 128, 0);
constexpr COLORREF clStopRed = RGB(200, 30, 30);
constexpr COLORREF clAboutBlue = RGB(30, 90, 200);
constexpr COLORREF clGrey = RGB(150, 150, 150);

// Drawing on a 16-unit grid scaled to the picture's size.
struct TGrid {
    HDC DC;
    int X, Y, Size;
    int operator()(int units) const { return ::MulDiv(units, Size, 16); }
    RECT Rect(int left, int top, int right, int bottom) const {
        return RECT{X + (*this)(left), Y + (*this)(top), X + (*this)(right), Y + (*this)(bottom)};
    }
    int Pen() const { return Size >= 24 ? Size / 12 : 1; }
};

// A brush and a thin pen of one colour, selected while it lives: shapes come out solid.
class TSolidColour {
public:
    TSolidColour(HDC dc, COLORREF colour)
        : FBrush(::CreateSolidBrush(colour)), FPen(::CreatePen(PS_SOLID, 1, colour)),
          FSelectedBrush(dc, FBrush.Get()), FSelectedPen(dc, FPen.Get()) {}

private:
    TBrush FBrush;
    TPen FPen;
    TSelectObject FSelectedBrush, FSelectedPen;
};

void FillBox(const TGrid& g, const RECT& r, COLORREF colour) {
    TBrush brush(::CreateSolidBrush(colour));
    ::FillRect(g.DC, &r, brush.Get());
}

void FrameBox(const TGrid& g, const RECT& r, COLORREF colour, int width) {
    TBrush brush(::CreateSolidBrush(colour));
    for (int i = 0; i < width; ++i) {
        RECT ring{r.left + i, r.top + i, r.right - i, r.bottom - i};
        ::FrameRect(g.DC, &ring, brush.Get());
    }
}

void Polyline(const TGrid& g, const POINT* units, int count, COLORREF colour, int width) {
    TPen pen(::CreatePen(PS_SOLID, width, colour));
    TSelectObject selected(g.DC, pen.Get());
    POINT points[8];
    for (int i = 0; i < count && i < 8; ++i) points[i] = POINT{g.X + g(units[i].x), g.Y + g(units[i].y)};
    ::Polyline(g.DC, points, count);
}

void DrawTickMark(const TGrid& g, COLORREF colour) {
    const POINT tick[] = {{4, 8}, {7, 11}, {12, 4}};
    Polyline(g, tick, 3, colour, std::max(2, g.Pen() + 1));
}

void DrawReadAgain(const TGrid& g, bool enabled) {
    const COLORREF colour = enabled ? clGreenArrow : clGrey;
    TPen pen(::CreatePen(PS_SOLID, std::max(2, g.Pen() + 1), colour));
    TSelectObject selectedPen(g.DC, pen.Get());
    TSelectObject selectedBrush(g.DC, ::GetStockObject(NULL_BRUSH));
    const RECT circle = g.Rect(2, 2, 14, 14);
    // Three quarters of a circle (counter-clockwise from the top round to the right), and the arrow's head at the top.
    ::Arc(g.DC, circle.left, circle.top, circle.right, circle.bottom, g.X + g(8), g.Y + g(2), g.X + g(14), g.Y + g(8));
    const POINT head[] = {{g.X + g(8), g.Y + g(0)}, {g.X + g(12), g.Y + g(3)}, {g.X + g(8), g.Y + g(6)}};
    TBrush fill(::CreateSolidBrush(colour));
    TSelectObject selectedFill(g.DC, fill.Get());
    ::Polygon(g.DC, head, 3);
}

void DrawStop(const TGrid& g, bool enabled) {
    const TSolidColour solid(g.DC, enabled ? clStopRed : clGrey);
    const POINT octagon[] = {{5, 1}, {11, 1}, {15, 5}, {15, 11}, {11, 15}, {5, 15}, {1, 11}, {1, 5}};
    POINT points[8];
    for (int i = 0; i < 8; ++i) points[i] = POINT{g.X + g(octagon[i].x), g.Y + g(octagon[i].y)};
    ::Polygon(g.DC, points, 8);
    FillBox(g, g.Rect(5, 7, 11, 9), RGB(255, 255, 255));
}

void DrawAbout(const TGrid& g, bool enabled) {
    const TSolidColour solid(g.DC, enabled ? clAboutBlue : clGrey);
    const RECT circle = g.Rect(1, 1, 15, 15);
    ::Ellipse(g.DC, circle.left, circle.top, circle.right, circle.bottom);
    FillBox(g, g.Rect(7, 3, 9, 5), RGB(255, 255, 255));
    FillBox(g, g.Rect(7, 6, 9, 13), RGB(255, 255, 255));
}

void DrawCheckBox(const TGrid& g, bool ticked, bool enabled) {
    const RECT box = g.Rect(2, 2, 14, 14);
    FillBox(g, box, RGB(255, 255, 255));
    FrameBox(g, box, enabled ? clNavy : clGrey, g.Pen());
    if (ticked) DrawTickMark(g, enabled ? RGB(0, 0, 0) : clGrey);
}

}  // namespace

HICON ProgramIcon(int size) {
    static std::map<int, HICON> icons;  // kept for the program's life, like shared icons
    HICON& icon = icons[size];
    if (icon == nullptr)
        icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, size, size, 0));
    return icon;
}

void DrawIconState(HDC dc, HICON icon, int x, int y, int size, bool enabled) {
    if (icon == nullptr) return;
    if (enabled) {
        ::DrawIconEx(dc, x, y, icon, size, size, 0, nullptr, DI_NORMAL);
        return;
    }
    ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, size, size, DST_ICON | DSS_DISABLED);
}

void DrawActionImage(HDC dc, int index, int x, int y, int size, bool enabled) {
    const TGrid grid{dc, x, y, size};
    switch (index) {
        case aiClean: DrawIconState(dc, ProgramIcon(size), x, y, size, enabled); break;
        case aiReadAgain: DrawReadAgain(grid, enabled); break;
        case aiStop: DrawStop(grid, enabled); break;
        case aiAbout: DrawAbout(grid, enabled); break;
        case aiSelectAll: DrawCheckBox(grid, true, enabled); break;
        case aiSelectNone: DrawCheckBox(grid, false, enabled); break;
        default: break;
    }
}
