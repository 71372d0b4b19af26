#include "ui/Application.h"

#include "engine/SystemRoutines.h"
#include "ui/ErrorReport.h"

TApplication& Application() {
    static TApplication application;
    return application;
}

void TApplication::Initialize() {
    if (Handle() != nullptr) return;
    TCreateArgs args;
    args.ClassName = L"TApplication";
    args.Caption = FTitle;
    // Hidden owner window: never shown, but a real top-level window so that
    // EnumWindows finds it and forms owned by it share its activation.
    args.Style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX;
    args.X = args.Y = args.Width = args.Height = 0;
    CreateHandle(args);
    SetApplicationWindows(Handle(), FMainForm);
    SetProcessMessagesHandler([] { Application().ProcessMessages(); });
}

void TApplication::SetMainForm(HWND form) {
    FMainForm = form;
    SetApplicationWindows(Handle(), FMainForm);
}

void TApplication::SetTitle(const std::wstring& title) {
    FTitle = title;
    if (Handle() != nullptr) ::SetWindowTextW(Handle(), title.c_str());
}

LRESULT TApplication::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE) {
        // Another instance asks us to come back: restore the form the user sees.
        if (FMainForm != nullptr && ::IsIconic(FMainForm)) ::ShowWindow(FMainForm, SW_RESTORE);
        return 0;
    }
    return DefaultHandler(message, wParam, lParam);
}

bool TApplication::DispatchOne(MSG& msg) {
    try {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    } catch (...) {
        HandleException();
    }
    return true;
}

int TApplication::Run() {
    MSG msg;
    for (;;) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return 1;
        DispatchOne(msg);
    }
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Keep the quit request for the main loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        DispatchOne(msg);
    }
}

void TApplication::HandleException(const std::wstring& Action) noexcept {
    HWND owner = FMainForm != nullptr && ::IsWindowVisible(FMainForm) ? FMainForm : nullptr;
    ReportCurrentException(owner, Action);
}
