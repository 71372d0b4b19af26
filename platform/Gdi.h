// RAII owners for GDI objects and device contexts.
#pragma once

#include "platform/ProgramFont.h"

#include <windows.h>

#include <utility>

// Owns an HFONT, HBRUSH, HPEN or HBITMAP (anything DeleteObject frees).
template <class T>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(T object) : FObject(object) {}
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    TGdiObject(TGdiObject&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
    TGdiObject& operator=(TGdiObject&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.FObject, nullptr));
        return *this;
    }
    ~TGdiObject() { Reset(); }

    T Get() const { return FObject; }
    explicit operator bool() const { return FObject != nullptr; }
    void Reset(T object = nullptr) {
        if (FObject != nullptr) ::DeleteObject(FObject);
        FObject = object;
    }

private:
    T FObject = nullptr;
};

using TFont = TGdiObject<HFONT>;
using TBrush = TGdiObject<HBRUSH>;
using TPen = TGdiObject<HPEN>;
using TBitmap = TGdiObject<HBITMAP>;

// Selects an object into a DC for the guard's lifetime.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(::SelectObject(dc, object)) {}
    ~TSelectObject() { ::SelectObject(FDC, FOld); }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// GetDC/ReleaseDC pair.
class TWindowDC {
public:
    explicit TWindowDC(HWND wnd) : FWnd(wnd), FDC(::GetDC(wnd)) {}
    ~TWindowDC() { ::ReleaseDC(FWnd, FDC); }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWnd;
    HDC FDC;
};

// BeginPaint/EndPaint pair.
class TPaintDC {
public:
    explicit TPaintDC(HWND wnd) : FWnd(wnd) { FDC = ::BeginPaint(wnd, &FPaint); }
    ~TPaintDC() { ::EndPaint(FWnd, &FPaint); }
    TPaintDC(const TPaintDC&) = delete;
    TPaintDC& operator=(const TPaintDC&) = delete;
    HDC Get() const { return FDC; }
    const PAINTSTRUCT& Paint() const { return FPaint; }

private:
    HWND FWnd;
    HDC FDC;
    PAINTSTRUCT FPaint{};
};

// Tahoma 8 point (height -11), the program's font; Bold for captions. Another
// face only where Tahoma cannot show Chinese (platform/ProgramFont.h).
inline HFONT CreateProgramFont(bool bold = false, bool underline = false, int height = -11) {
    return ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                         ProgramFontFace().c_str());
}

constexpr COLORREF clNavy = RGB(0, 0, 128);
constexpr COLORREF clMaroon = RGB(128, 0, 0);
constexpr COLORREF clWhite = RGB(255, 255, 255);
