#include "ui/OrvViewEasterEggs.h"
#include "texts/Texts.h"

#include "engine/Masks.h"
#include "ui/OrvHyperlink.h"

#include <iterator>

namespace {

constexpr int PanelMargin = 8;

std::wstring LowerCaseAscii(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

}  // namespace

TEasterEggsForm::TEasterEggsForm(int panelWidth, int panelHeight, TDpi dpi) {
    FFont.Reset(CreateProgramFontForDpi(dpi));
    FLinkFont.Reset(CreateProgramFontForDpi(dpi, true, true));
    TCreateArgs args;
    args.ClassName = L"TEasterEggsForm";
    args.Caption = LoadText(TTextId::EasterEggsCaption);
    args.Style = WS_POPUP | WS_CAPTION;
    args.X = args.Y = 0;
    args.Width = panelWidth + 16;
    args.Height = panelHeight + 40;
    CreateHandle(args);

    const RECT panelBounds{0, 0, panelWidth, panelHeight};
    const int inner = dpi(TBevelPanel::BevelWidth + PanelMargin);
    UrlPanel.Create(L"UrlPanel", Handle(), panelBounds, true, false);
    UrlMemo = UrlPanel.AddControl(L"EDIT", L"", ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
                                  RECT{inner, inner, panelWidth - inner, panelHeight - inner}, FFont.Get());
    UrlPanel.SetTextColour(UrlMemo, clNavy);

    UpdatePanel.Create(L"UpdatePanel", Handle(), panelBounds, true, false);
    const int labelHeight = dpi(14);
    DownloadNowLabel = UpdatePanel.AddControl(
        L"STATIC", LoadText(TTextId::EasterEggsDownload), SS_CENTER | SS_NOTIFY | SS_NOPREFIX,
        RECT{inner, (panelHeight - labelHeight) / 2, panelWidth - inner, (panelHeight + labelHeight) / 2},
        FLinkFont.Get());
    UpdatePanel.SetTextColour(DownloadNowLabel, clNavy);
    UpdatePanel.SetHandCursor(DownloadNowLabel);
    UpdatePanel.OnCommand = [this](HWND control, WORD code) {
        if (control == DownloadNowLabel && code == STN_CLICKED) DownloadNowLabelClick();
    };
}

TEasterEggsForm::~TEasterEggsForm() { DestroyHandle(); }

void TEasterEggsForm::Prepare(const std::wstring& site, const std::wstring& softwarePage,
                              const std::wstring& programKey, const std::wstring& title) {
    const std::wstring key = LowerCaseAscii(programKey);
    DownloadAddress = softwarePage + L"/download/" + key + L".zip";
    ::SetWindowTextW(DownloadNowLabel, FormatText(TTextId::EasterEggsDownloadTitle, title).c_str());
    const std::wstring lines[] = {
        L"",
        LoadText(TTextId::EasterEggsInformation),
        softwarePage + L"/" + key + L".htm",
        L"",
        LoadText(TTextId::EasterEggsScreenshot),
        site + L"images/software_" + key + L".jpg",
        L"",
        LoadText(TTextId::EasterEggsDownloadLabel),
        DownloadAddress,
    };
    std::wstring text = lines[0];
    for (size_t i = 1; i < std::size(lines); ++i) text += L"\r\n" + lines[i];
    ::SetWindowTextW(UrlMemo, text.c_str());
}

TBevelPanel* TEasterEggsForm::FindPanel(const std::wstring& upperName) {
    for (TBevelPanel* panel : {&UrlPanel, &UpdatePanel})
        if (UpperCaseAscii(panel->Name()) == upperName) return panel;
    return nullptr;
}

void TEasterEggsForm::DownloadNowLabelClick() { OpenLinkTarget(DownloadAddress); }
