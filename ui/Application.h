// The application object: a hidden top-level window of class "TApplication"
// that owns every form of the program, the message loop, and the last-chance
// error box. Another instance of the program finds this window to hand over
// (see app/SingleInstance).
#pragma once

#include "ui/WindowBase.h"

#include <string>

class TApplication : public TWindow {
public:
    // Creates the hidden window; safe to call more than once.
    void Initialize();
    void SetTitle(const std::wstring& title);
    const std::wstring& Title() const { return FTitle; }

    // The form whose closing ends the message loop.
    void SetMainForm(HWND form);
    HWND MainForm() const { return FMainForm; }

    // Runs the message loop until WM_QUIT; returns its exit code.
    int Run();
    // Removes and dispatches every pending message of this thread.
    void ProcessMessages();
    // Reports the exception in flight (ui/ErrorReport.h); the program goes on.
    // Action names what failed, for the automatic run's log.
    void HandleException(const std::wstring& Action = std::wstring()) noexcept;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool DispatchOne(MSG& msg);
    std::wstring FTitle;
    HWND FMainForm = nullptr;
};

// The one application object of the process.
TApplication& Application();
