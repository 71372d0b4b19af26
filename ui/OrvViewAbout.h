// The About window: the program's name and version, a rights notice and links to
// the maker's site. It fades in and out, closes when it loses the activation,
// and swaps its content for panels of the hidden TEasterEggsForm when their
// names are typed ("url", "update").
#pragma once

#include "platform/Gdi.h"
#include "ui/BevelPanel.h"
#include "ui/ModalForm.h"
#include "ui/OrvViewEasterEggs.h"

#include <memory>
#include <string>

// The maker's web site (ending in "/") and mail domain.
inline constexpr wchar_t MakerSite[] = L"https://www.holvane.example/";
inline constexpr wchar_t MakerMailDomain[] = L"holvane.example";

struct TProgramVersion {
    bool Found = false;
    int Major = 0, Minor = 0, Build = 0;
};

// The fixed file version of FileName; Found is false when it carries none.
TProgramVersion ReadProgramVersion(const std::wstring& fileName);
// "版本 1.0  Build 57"; empty when the version is unknown.
std::wstring VersionText(const TProgramVersion& version);
// The file whose version the About window shows: the running program, unless a
// test chose another one (an empty name restores the running program).
std::wstring VersionFileName();
void SetVersionFileForTesting(const std::wstring& fileName);

// The application title without spaces and apostrophes, trimmed.
std::wstring MakeProgramKey(const std::wstring& title);
// The notice's three lines: the years of the rights, then the disclaimer.
std::wstring RightsNotice(int firstYear, int currentYear);

class TfrmAbout : public TModalForm {
public:
    static constexpr int ClientWidth = 342, ClientHeight = 202, Border = 5;
    static constexpr int BarHeight = 32;

    explicit TfrmAbout(HWND owner);
    ~TfrmAbout() override;

    // The notice, name, version, links and the hidden window's panels.
    void Prepare(int FirstYear, bool HideDonation, const TProgramVersion& ProgramVersion);
    void FadeIn();
    // Handles messages until the window has a modal result; returns it.
    int RunUntilClosed();
    void FadeOut();

    void FormKeyPress(wchar_t& Key);

    // The About window now open (there is at most one), or null.
    static TfrmAbout* Current();

    TBevelPanel HostPanel;
    TBevelPanel AboutPanel;
    TBevelPanel* ShownPanel = nullptr;
    std::unique_ptr<TEasterEggsForm> EggsForm;
    std::wstring TypedWord;
    std::wstring ProgramKey;
    HWND ProductName = nullptr, Version = nullptr, CreditLabel = nullptr, NoticeLabel = nullptr;
    HWND lblDonation = nullptr, lblEmail = nullptr, lblSoftware = nullptr, lblSite = nullptr;
    HWND OKButton = nullptr;

protected:
    void CreateControls() override;
    void DpiChanged(TDpi old) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FormCreate();
    void FormDestroy();
    void FormDeactivate();
    void FormClose();
    // Keys reach the window before its controls; true when the key is used up.
    bool PreviewKey(const MSG& msg);
    void ShowPanel(TBevelPanel* panel);
    void PlaceTitle(const std::wstring& title, const std::wstring& versionText);
    void PlaceLabel(HWND label, const std::wstring& text, int x, int y, bool rightAligned);
    void SetAlpha(int alpha);

    TFont FTitleFont;
    int FAlpha = 0;
};

// Prepares, fades in and runs the About window until it closes, then fades it
// out. Owner (the main window) is disabled meanwhile. Returns mrOk or mrCancel.
int ShowAboutBox(int FirstYear, bool HideDonation, HWND owner);
