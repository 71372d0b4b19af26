// Flat push buttons (owner-drawn BUTTON controls): no frame until pressed, an
// optional picture of the action images, bold navy text with its accelerator
// underlined, the standard focus rectangle when the keyboard has put the focus there.
#pragma once

#include "ui/Dpi.h"

#include <windows.h>

#include <string>

inline constexpr int NoButtonImage = -1;

// Draws an owner-drawn button for WM_DRAWITEM. Image is an action image
// (ui/ActionImages.h) shown 16 x 16 at 96 DPI, or NoButtonImage; a disabled
// button draws it greyed.
void DrawFlatButton(const DRAWITEMSTRUCT& item, const std::wstring& text, int image, HFONT font,
                    COLORREF background, TDpi dpi);
