// Labels that act as hyperlinks. One handler object serves every link: a link
// label shows the hand cursor and its target as a hint; the mouse over it
// underlines it in blue (and returns the other links of its container to plain),
// the mouse over the container returns them all to plain, and a click opens the
// target with the shell.
#pragma once

#include "platform/Gdi.h"

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

class TLabelToLinkEventHandlers {
public:
    // Made on first use, freed when the program ends.
    static TLabelToLinkEventHandlers& Instance();

    void Attach(HWND label, const std::wstring& target);
    bool IsLink(HWND label) const { return FLinks.count(label) != 0; }
    // The label's target (its hint); empty for a label that is not a link.
    std::wstring Target(HWND label) const;
    bool IsHot(HWND label) const;

    // Mouse over a link label; mouse over a container; click on a link label.
    void LinkMouseMove(HWND label);
    void ContainerMouseMove(HWND container);
    void LinkClick(HWND label);

private:
    struct TLink {
        std::wstring Target;
        bool Hot = false;
        HFONT OriginalFont = nullptr;  // the label's own font; not ours
        TFont UnderlinedFont;
    };
    void SetHot(HWND label, TLink& link, bool hot);
    void AttachContainer(HWND container);
    void AddHint(HWND container, HWND label, const std::wstring& target);
    void Forget(HWND window);
    static LRESULT CALLBACK LabelProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR data);
    static LRESULT CALLBACK ContainerProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR data);

    std::map<HWND, TLink> FLinks;
    std::map<HWND, HWND> FContainerHints;  // container -> its tooltip window
};

// Turns Label into a link to Target (an address, or "mailto:" and an address).
void MakeLabelLink(HWND label, const std::wstring& target);

// Opens Target with the shell ("open", shown normally, owned by the application window).
void OpenLinkTarget(const std::wstring& target);

// Tests replace the shell with a recorder so no browser or mail program starts;
// an empty function restores the shell.
using TLinkOpener = std::function<void(const std::wstring& Target)>;
void SetLinkOpenerForTesting(TLinkOpener opener);
