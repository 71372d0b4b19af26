// Base of the secondary windows: created for one showing, modal to its owner
// (the owner is disabled while it shows), closed by setting a modal result.
#pragma once

#include "platform/Gdi.h"
#include "ui/Dpi.h"
#include "ui/WindowBase.h"

#include <string>

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

class TModalForm : public TWindow {
public:
    ~TModalForm() override;

    // Shows the window centred on Owner and runs its message loop until a modal
    // result is set or the program is asked to quit. Returns the result (mrCancel
    // when the window was closed some other way).
    int ShowModal(HWND owner);
    void SetModalResult(int result) { FModalResult = result; }
    int ModalResult() const { return FModalResult; }

protected:
    struct TFormArgs {
        const wchar_t* ClassName = nullptr;
        std::wstring Caption;
        int ClientWidth = 300;  // at 96 DPI, like every size a form is given
        int ClientHeight = 200;
        bool ToolWindow = true;  // the secondary windows' thin caption
        bool CloseBox = true;
        bool TopMost = false;
    };
    // Creates the (hidden) window owned by Owner at the owner's DPI; controls are
    // then added in CreateControls, placed in pixels of Dpi().
    void CreateForm(const TFormArgs& args, HWND owner);
    TDpi Dpi() const { return FDpi; }
    // A length given at 96 DPI, in this window's pixels.
    int S(int pixels96) const { return FDpi(pixels96); }
    RECT S(const RECT& bounds96) const { return FDpi(bounds96); }
    // The window moved to a monitor of another scale: every control has been
    // placed and sized in proportion and given the fonts at the new scale; a form
    // with fonts of its own gives them here (Old is the font a control had).
    virtual HFONT FontForNewDpi(HFONT old) { (void)old; return nullptr; }
    virtual void DpiChanged(TDpi old) { (void)old; }
    virtual void CreateControls() {}
    // Keyboard: Enter and Escape reach these (return true when handled).
    virtual bool HandleEnter() { return false; }
    virtual bool HandleEscape() { return false; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int x, int y, int width,
                    int height, int id = 0, HFONT font = nullptr, DWORD exStyle = 0);
    HFONT Font() const { return FFont.Get(); }
    HFONT BoldFont() const { return FBoldFont.Get(); }
    void CentreOn(HWND reference);

private:
    void HandleDpiChanged(int dpi, const RECT& suggested);

    TDpi FDpi;
    TFont FFont, FBoldFont;
    int FModalResult = mrNone;
    bool FRunning = false;
};
