// Flat push buttons (owner-drawn BUTTON controls): no frame until pressed, an
// optional 16 x 16 picture, bold navy text with its accelerator underlined.
#pragma once

#include <windows.h>

#include <string>

// Draws an owner-drawn button for WM_DRAWITEM. Icon may be null.
void DrawFlatButton(const DRAWITEMSTRUCT& item, const std::wstring& text, HICON icon, HFONT font,
                    COLORREF background);

// The program's small icon, for the clean buttons (owned by the system; do not destroy).
HICON CleanButtonIcon();
