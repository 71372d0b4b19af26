// The pictures of the main window's commands ("ImageList": 0 clean, 1 read
// again, 2 stop, 3 about, 4 select all, 5 select none) and of its clean button.
// Each is drawn for the size it is shown at, so nothing is a stretched bitmap.
#pragma once

#include <windows.h>

enum TActionImage : int {
    aiClean = 0,
    aiReadAgain = 1,
    aiStop = 2,
    aiAbout = 3,
    aiSelectAll = 4,
    aiSelectNone = 5,
    ActionImageCount = 6,
};

// Draws image Index as a Size x Size picture at (X, Y); greyed when not Enabled.
void DrawActionImage(HDC dc, int index, int x, int y, int size, bool enabled = true);

// The program's icon at Size x Size, taken from the image of that size in the
// icon resource where it has one (owned by this module; do not destroy).
HICON ProgramIcon(int size);

// Draws Icon at Size x Size, embossed grey when not Enabled (a disabled button).
void DrawIconState(HDC dc, HICON icon, int x, int y, int size, bool enabled);
