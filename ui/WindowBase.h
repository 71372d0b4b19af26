// Binds a C++ object to its HWND and hands each message to one member function.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// From now on Control is painted by Paint alone, background and all, whatever
// the theme would draw; every other message keeps the control's own handling.
using TControlPainter = void (*)(HWND control, HDC dc, const RECT& client);
void PaintControlWith(HWND control, TControlPainter paint);

// A derived window destroys its handle in its own destructor: the messages that
// destruction sends must still reach the derived class's handlers.
// The text of a window or control.
std::wstring WindowText(HWND wnd);
// The rows of a list box, as it shows them.
std::vector<std::wstring> ListBoxEntries(HWND listBox);

class TWindow {
public:
    TWindow() = default;
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;
    virtual ~TWindow();

    HWND Handle() const { return FHandle; }

protected:
    struct TCreateArgs {
        const wchar_t* ClassName = nullptr;
        std::wstring Caption;
        DWORD Style = WS_OVERLAPPEDWINDOW;
        DWORD ExStyle = 0;
        int X = CW_USEDEFAULT, Y = CW_USEDEFAULT, Width = CW_USEDEFAULT, Height = CW_USEDEFAULT;
        HWND Parent = nullptr;
        HICON Icon = nullptr;
        HBRUSH Background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    };
    // Registers the class on first use and creates the window; throws EOSError on failure.
    void CreateHandle(const TCreateArgs& args);
    void DestroyHandle();

    // Handles one message. Exceptions are caught at the window procedure and
    // shown in the standard error box; the message then gets DefWindowProc's answer.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after WM_NCDESTROY; the object no longer has a handle.
    virtual void HandleDestroyed() {}

private:
    static LRESULT CALLBACK WindowProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND FHandle = nullptr;
};
