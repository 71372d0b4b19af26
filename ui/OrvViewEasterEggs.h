// The hidden window whose panels the About window borrows when certain words are
// typed: the program's web addresses and a link that downloads the latest version.
// It is never shown itself.
#pragma once

#include "platform/Gdi.h"
#include "ui/BevelPanel.h"
#include "ui/Dpi.h"
#include "ui/WindowBase.h"

#include <string>
#include <vector>

class TEasterEggsForm : public TWindow {
public:
    // Creates the hidden window with panels of PanelWidth x PanelHeight pixels,
    // laid out for Dpi (the About window's).
    TEasterEggsForm(int panelWidth, int panelHeight, TDpi dpi = TDpi{});
    ~TEasterEggsForm() override;

    // Fills the panels for the program whose key is ProgramKey. Site ends in "/",
    // SoftwarePage does not.
    void Prepare(const std::wstring& site, const std::wstring& softwarePage, const std::wstring& programKey,
                 const std::wstring& title);
    // The panel whose name, upper-cased, is UpperName; null when there is none.
    TBevelPanel* FindPanel(const std::wstring& upperName);

    void DownloadNowLabelClick();

    std::wstring DownloadAddress;
    TBevelPanel UrlPanel;
    TBevelPanel UpdatePanel;
    HWND UrlMemo = nullptr;
    HWND DownloadNowLabel = nullptr;

private:
    TFont FFont, FLinkFont;
};
