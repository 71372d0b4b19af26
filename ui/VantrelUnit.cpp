#include "ui/VantrelUnit.h"

#include "ui/Application.h"

namespace {

constexpr DWORD MainFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

}  // namespace

TVantrelForm::TVantrelForm(bool autoMode) : FAutoMode(autoMode) {
    RECT bounds{0, 0, ClientWidth, DesignClientHeight};
    ::AdjustWindowRectEx(&bounds, MainFormStyle, FALSE, 0);
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;

    TCreateArgs args;
    args.ClassName = L"TVantrelForm";
    args.Caption = Application().Title();
    if (FAutoMode) args.Caption += L" (自动模式)";
    args.Style = MainFormStyle;
    args.Width = width;
    args.Height = height;
    args.X = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    args.Y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    args.Parent = Application().Handle();
    args.Icon = ::LoadIconW(::GetModuleHandleW(nullptr), L"MAINICON");
    CreateHandle(args);
    Application().SetMainForm(Handle());
    ::ShowWindow(Handle(), SW_SHOWNORMAL);
    ::UpdateWindow(Handle());
}

TVantrelForm::~TVantrelForm() { DestroyHandle(); }

LRESULT TVantrelForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandler(message, wParam, lParam);
}

void TVantrelForm::HandleDestroyed() {
    if (Application().MainForm() == nullptr) return;
    Application().SetMainForm(nullptr);
    ::PostQuitMessage(0);
}
