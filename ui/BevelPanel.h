// A white panel window, optionally with the secondary windows' bevel (inner
// raised, outer lowered). Its controls report to it: it colours their text,
// gives chosen ones the hand cursor and passes their commands on. Panels can be
// moved between parents (the About window borrows them from a hidden window).
#pragma once

#include "ui/WindowBase.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

class TBevelPanel : public TWindow {
public:
    static constexpr int BevelWidth = 2;

    ~TBevelPanel() override;

    // Creates the panel as a visible child of Parent (hidden when Visible is false).
    void Create(const std::wstring& name, HWND parent, const RECT& bounds, bool bevelled, bool visible = true);
    const std::wstring& Name() const { return FName; }

    HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, const RECT& bounds,
                    HFONT font, int id = 0);
    void SetTextColour(HWND control, COLORREF colour) { FTextColours[control] = colour; }
    void SetHandCursor(HWND control) { FHandControls.insert(control); }
    // A filled rectangle painted on the panel (a rule or a shape).
    void AddFill(const RECT& bounds, COLORREF colour);
    // The panel's window moved to a monitor of another scale: the fills follow.
    void ScaleFills(int newDpi, int oldDpi);

    std::function<void(HWND Control, WORD Code)> OnCommand;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Paint();

    struct TFill {
        RECT Bounds;
        COLORREF Colour;
    };
    std::wstring FName;
    bool FBevelled = false;
    std::map<HWND, COLORREF> FTextColours;
    std::set<HWND> FHandControls;
    std::vector<TFill> FFills;
};

// The size a label needs for Text in Font (one line unless it holds line breaks).
SIZE MeasureLabelText(HWND label, const std::wstring& text, HFONT font);
