#include "ui/ModalForm.h"

#include "platform/ErrorBox.h"
#include "ui/Application.h"

#include <utility>

TModalForm::~TModalForm() { DestroyHandle(); }

void TModalForm::CreateForm(const TFormArgs& args, HWND owner) {
    // A secondary window opens on its owner's monitor, at that monitor's scale.
    FDpi = owner != nullptr ? DpiOfWindow(owner) : SystemDpi();
    FFont.Reset(CreateProgramFontForDpi(FDpi));
    FBoldFont.Reset(CreateProgramFontForDpi(FDpi, true));
    const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN | (args.CloseBox ? WS_SYSMENU : 0);
    const DWORD exStyle = (args.ToolWindow ? WS_EX_TOOLWINDOW : WS_EX_DLGMODALFRAME) |
                          (args.TopMost ? WS_EX_TOPMOST : 0) | WS_EX_CONTROLPARENT;
    RECT bounds{0, 0, S(args.ClientWidth), S(args.ClientHeight)};
    AdjustWindowRectForDpi(bounds, style, false, exStyle, FDpi);
    TCreateArgs create;
    create.ClassName = args.ClassName;
    create.Caption = args.Caption;
    create.Style = style;
    create.ExStyle = exStyle;
    create.X = 0;
    create.Y = 0;
    create.Width = bounds.right - bounds.left;
    create.Height = bounds.bottom - bounds.top;
    create.Parent = owner != nullptr ? owner : Application().Handle();
    CreateHandle(create);
    CreateControls();
    CentreOn(owner);
}

void TModalForm::CentreOn(HWND reference) {
    RECT area;
    if (reference != nullptr && ::IsWindowVisible(reference) && !::IsIconic(reference))
        ::GetWindowRect(reference, &area);
    else
        area = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    RECT own;
    ::GetWindowRect(Handle(), &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    ::SetWindowPos(Handle(), nullptr, area.left + (area.right - area.left - width) / 2,
                   area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND TModalForm::AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int x, int y, int width,
                            int height, int id, HFONT font, DWORD exStyle) {
    HWND control = ::CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width,
                                     height, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr) RaiseLastOSError();
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font != nullptr ? font : FFont.Get()), FALSE);
    return control;
}

int TModalForm::ShowModal(HWND owner) {
    const bool ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    FModalResult = mrNone;
    FRunning = true;
    ::ShowWindow(Handle(), SW_SHOW);
    ::SetForegroundWindow(Handle());
    MSG msg;
    bool quit = false;
    int quitCode = 0;
    while (FModalResult == mrNone && Handle() != nullptr) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            FModalResult = mrCancel;
            break;
        }
        if (got == -1) break;
        if (msg.message == WM_KEYDOWN && (msg.hwnd == Handle() || ::IsChild(Handle(), msg.hwnd))) {
            if (msg.wParam == VK_RETURN && HandleEnter()) continue;
            if (msg.wParam == VK_ESCAPE && HandleEscape()) continue;
        }
        if (::IsDialogMessageW(Handle(), &msg)) continue;
        ::TranslateMessage(&msg);
        try {
            ::DispatchMessageW(&msg);
        } catch (...) {
            Application().HandleException();
        }
    }
    FRunning = false;
    // The owner comes back before this window hides, so activation returns to it.
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    if (Handle() != nullptr) ::ShowWindow(Handle(), SW_HIDE);
    if (quit) ::PostQuitMessage(quitCode);  // the outer loop ends the program
    return FModalResult == mrNone ? mrCancel : FModalResult;
}

void TModalForm::HandleDpiChanged(int dpi, const RECT& suggested) {
    const TDpi old = FDpi;
    FDpi = TDpi{dpi};
    // The old fonts live until every control has its new one.
    TFont oldFont(std::move(FFont)), oldBold(std::move(FBoldFont));
    FFont.Reset(CreateProgramFontForDpi(FDpi));
    FBoldFont.Reset(CreateProgramFontForDpi(FDpi, true));
    struct TContext {
        TModalForm* Form;
        TDpi Old;
        HFONT OldFont, OldBold;
    } context{this, old, oldFont.Get(), oldBold.Get()};
    ::EnumChildWindows(
        Handle(),
        [](HWND child, LPARAM data) -> BOOL {
            auto& c = *reinterpret_cast<TContext*>(data);
            RECT r;
            ::GetWindowRect(child, &r);
            ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
            const auto scale = [&](LONG v) { return ::MulDiv(v, c.Form->FDpi.Value, c.Old.Value); };
            ::SetWindowPos(child, nullptr, scale(r.left), scale(r.top), scale(r.right) - scale(r.left),
                           scale(r.bottom) - scale(r.top), SWP_NOZORDER | SWP_NOACTIVATE);
            const auto font = reinterpret_cast<HFONT>(::SendMessageW(child, WM_GETFONT, 0, 0));
            HFONT replacement = font == c.OldFont   ? c.Form->FFont.Get()
                                : font == c.OldBold ? c.Form->FBoldFont.Get()
                                                    : c.Form->FontForNewDpi(font);
            if (replacement != nullptr) ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(replacement), TRUE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&context));
    ::SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    DpiChanged(old);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TModalForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DPICHANGED:
            HandleDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CLOSE:
            SetModalResult(mrCancel);
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            ::SetBkColor(reinterpret_cast<HDC>(wParam), clWhite);
            return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    }
    return DefaultHandler(message, wParam, lParam);
}
