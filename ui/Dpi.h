// Display scale. Every size of the program's windows is stated at 96 DPI and
// laid out at the DPI of the window it appears in (the program declares
// per-monitor awareness, so Windows no longer stretches it as a bitmap).
// The per-monitor functions are looked up at run time: Windows 7 and 8.1 lack
// them, and there every window has the system's DPI.
#pragma once

#include <windows.h>

inline constexpr int BaseDpi = 96;

// A DPI and the sizes scaled to it.
struct TDpi {
    int Value = BaseDpi;

    // A length given at 96 DPI, at this DPI (rounded to the nearest pixel).
    int operator()(int pixels96) const { return ::MulDiv(pixels96, Value, BaseDpi); }
    RECT operator()(const RECT& bounds96) const {
        return RECT{(*this)(bounds96.left), (*this)(bounds96.top), (*this)(bounds96.right), (*this)(bounds96.bottom)};
    }
    // The font height (negative: character height) of a font of Points points.
    int FontHeight(int points) const { return -::MulDiv(points, Value, 72); }
    // The side of the standard icon size nearest to 16 x 16 at 96 DPI scaled up:
    // 16, 20, 24, 32 or 48 pixels, so icons are picked, not stretched.
    int SmallIconSize() const;
    bool operator==(const TDpi&) const = default;
};

// The DPI of the window (GetDpiForWindow), else of the system.
TDpi DpiOfWindow(HWND wnd);
// The system's DPI (GetDpiForSystem, else the screen's LOGPIXELSY).
TDpi SystemDpi();

// AdjustWindowRectExForDpi where it exists, else AdjustWindowRectEx.
void AdjustWindowRectForDpi(RECT& bounds, DWORD style, bool menu, DWORD exStyle, TDpi dpi);
// GetSystemMetricsForDpi where it exists, else GetSystemMetrics.
int SystemMetricForDpi(int index, TDpi dpi);

// Makes the calling process per-monitor aware (version 2 where the system has
// it). The program gets this from its manifest; test programs call it.
void DeclarePerMonitorDpiAwareness();

// The program's font, Tahoma 8 point (height -11 at 96 DPI), at Dpi.
HFONT CreateProgramFontForDpi(TDpi dpi, bool bold = false, bool underline = false, int points = 8);
