// Base of the secondary windows: created for one showing, modal to its owner
// (the owner is disabled while it shows), closed by setting a modal result.
#pragma once

#include "platform/Gdi.h"
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
        int ClientWidth = 300;
        int ClientHeight = 200;
        bool ToolWindow = true;  // the secondary windows' thin caption
        bool CloseBox = true;
        bool TopMost = false;
    };
    // Creates the (hidden) window owned by Owner; controls are then added in CreateControls.
    void CreateForm(const TFormArgs& args, HWND owner);
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
    TFont FFont, FBoldFont;
    int FModalResult = mrNone;
    bool FRunning = false;
};
