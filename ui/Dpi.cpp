#include "ui/Dpi.h"

#include "platform/Gdi.h"

namespace {

using TGetDpiForWindow = UINT(WINAPI*)(HWND);
using TGetDpiForSystem = UINT(WINAPI*)();
using TAdjustWindowRectExForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using TGetSystemMetricsForDpi = int(WINAPI*)(int, UINT);
using TSetProcessDpiAwarenessContext = BOOL(WINAPI*)(HANDLE);
using TSetProcessDPIAware = BOOL(WINAPI*)();

// user32's exports of Windows 10 (1607 and later); null where it has none.
struct TUser32Dpi {
    TGetDpiForWindow GetDpiForWindow = nullptr;
    TGetDpiForSystem GetDpiForSystem = nullptr;
    TAdjustWindowRectExForDpi AdjustWindowRectExForDpi = nullptr;
    TGetSystemMetricsForDpi GetSystemMetricsForDpi = nullptr;
    TSetProcessDpiAwarenessContext SetProcessDpiAwarenessContext = nullptr;
    TSetProcessDPIAware SetProcessDPIAware = nullptr;

    TUser32Dpi() {
        HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        if (user32 == nullptr) return;
        Load(user32, "GetDpiForWindow", GetDpiForWindow);
        Load(user32, "GetDpiForSystem", GetDpiForSystem);
        Load(user32, "AdjustWindowRectExForDpi", AdjustWindowRectExForDpi);
        Load(user32, "GetSystemMetricsForDpi", GetSystemMetricsForDpi);
        Load(user32, "SetProcessDpiAwarenessContext", SetProcessDpiAwarenessContext);
        Load(user32, "SetProcessDPIAware", SetProcessDPIAware);
    }
    template <class T>
    static void Load(HMODULE module, const char* name, T& function) {
        function = reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    }
};

const TUser32Dpi& User32Dpi() {
    static const TUser32Dpi functions;
    return functions;
}

int ScreenDpi() {
    TWindowDC screen(nullptr);
    const int dpi = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
    return dpi > 0 ? dpi : BaseDpi;
}

}  // namespace

int TDpi::SmallIconSize() const {
    const int wanted = (*this)(16);
    int best = 16;
    for (int size : {16, 20, 24, 32, 48})
        if (size <= wanted) best = size;
    return best;
}

TDpi SystemDpi() {
    if (User32Dpi().GetDpiForSystem != nullptr) {
        const UINT dpi = User32Dpi().GetDpiForSystem();
        if (dpi != 0) return TDpi{static_cast<int>(dpi)};
    }
    return TDpi{ScreenDpi()};
}

TDpi DpiOfWindow(HWND wnd) {
    if (wnd != nullptr && User32Dpi().GetDpiForWindow != nullptr) {
        const UINT dpi = User32Dpi().GetDpiForWindow(wnd);
        if (dpi != 0) return TDpi{static_cast<int>(dpi)};
    }
    return SystemDpi();
}

void AdjustWindowRectForDpi(RECT& bounds, DWORD style, bool menu, DWORD exStyle, TDpi dpi) {
    if (User32Dpi().AdjustWindowRectExForDpi != nullptr &&
        User32Dpi().AdjustWindowRectExForDpi(&bounds, style, menu, exStyle, static_cast<UINT>(dpi.Value)))
        return;
    ::AdjustWindowRectEx(&bounds, style, menu, exStyle);
}

int SystemMetricForDpi(int index, TDpi dpi) {
    if (User32Dpi().GetSystemMetricsForDpi != nullptr)
        return User32Dpi().GetSystemMetricsForDpi(index, static_cast<UINT>(dpi.Value));
    return ::GetSystemMetrics(index);
}

void DeclarePerMonitorDpiAwareness() {
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 (-4), then PER_MONITOR_AWARE (-3).
    if (User32Dpi().SetProcessDpiAwarenessContext != nullptr) {
        if (User32Dpi().SetProcessDpiAwarenessContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return;
        if (User32Dpi().SetProcessDpiAwarenessContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3)))) return;
    }
    if (User32Dpi().SetProcessDPIAware != nullptr) User32Dpi().SetProcessDPIAware();
}

HFONT CreateProgramFontForDpi(TDpi dpi, bool bold, bool underline, int points) {
    // 8 points is -11 pixels at 96 DPI: the character height rounded as the design states it.
    const int height = points == 8 ? -dpi(11) : dpi.FontHeight(points);
    return CreateProgramFont(bold, underline, height);
}
