#include "ui/OrvViewAbout.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
#include "ui/Application.h"
#include "ui/OrvHyperlink.h"

#include <oleauto.h>

#include <vector>

namespace {

constexpr int FadeStep = 3;
constexpr uint64_t FadeMilliseconds = 300;
constexpr COLORREF clGray = RGB(128, 128, 128);

// Layout inside AboutPanel.
constexpr int Margin = 10;
constexpr int TitleTop = 8;
constexpr int CreditTop = 46;
constexpr int FirstLinkRow = 68, SecondLinkRow = 86;
constexpr int RuleTop = 108, RuleHeight = 3;
constexpr int NoticeTop = 120;

TfrmAbout* GCurrentAbout = nullptr;

std::wstring& VersionFileOverride() {
    static std::wstring fileName;
    return fileName;
}

int CurrentYear() {
    SYSTEMTIME time{};
    if (!::VariantTimeToSystemTime(Now(), &time)) return 0;
    return time.wYear;
}

// Disables the owner for the About window's lifetime and enables it again, also
// when an error ends the showing early.
class TOwnerDisabler {
public:
    explicit TOwnerDisabler(HWND owner) : FOwner(owner) {
        if (FOwner == nullptr) return;
        ::RedrawWindow(FOwner, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        FWasEnabled = ::IsWindowEnabled(FOwner) != FALSE;
        if (FWasEnabled) ::EnableWindow(FOwner, FALSE);
    }
    ~TOwnerDisabler() { Restore(); }
    TOwnerDisabler(const TOwnerDisabler&) = delete;
    TOwnerDisabler& operator=(const TOwnerDisabler&) = delete;
    void Restore() {
        if (FWasEnabled) ::EnableWindow(FOwner, TRUE);
        FWasEnabled = false;
    }

private:
    HWND FOwner;
    bool FWasEnabled = false;
};

}  // namespace

// --- Version and texts ---

TProgramVersion ReadProgramVersion(const std::wstring& fileName) {
    std::wstring name = fileName;
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(name.c_str(), &ignored);
    // Wine names a program started from a Unix path "unix\..."; only the NT form opens.
    if (size == 0 && name.rfind(L"unix\\", 0) == 0) {
        name = L"\\\\?\\" + name;
        size = ::GetFileVersionInfoSizeW(name.c_str(), &ignored);
    }
    TProgramVersion version;
    if (size == 0) return version;
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(name.c_str(), 0, size, data.data())) return version;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
        return version;
    version.Found = true;
    version.Major = HIWORD(info->dwFileVersionMS);
    version.Minor = LOWORD(info->dwFileVersionMS);
    version.Build = LOWORD(info->dwFileVersionLS);
    return version;
}

std::wstring VersionText(const TProgramVersion& version) {
    if (!version.Found) return L"";
    return FormatText(TTextId::AboutVersion, version.Major, version.Minor, version.Build);
}

std::wstring VersionFileName() {
    if (!VersionFileOverride().empty()) return VersionFileOverride();
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

void SetVersionFileForTesting(const std::wstring& fileName) { VersionFileOverride() = fileName; }

std::wstring MakeProgramKey(const std::wstring& title) {
    std::wstring key;
    for (wchar_t c : title)
        if (c != L' ' && c != L'\'') key.push_back(c);
    size_t first = 0, last = key.size();
    while (first < last && key[first] <= L' ') ++first;
    while (last > first && key[last - 1] <= L' ') --last;
    return key.substr(first, last - first);
}

std::wstring RightsNotice(int firstYear, int currentYear) {
    std::wstring years = std::to_wstring(firstYear);
    if (currentYear > firstYear) years += L"-" + std::to_wstring(currentYear);
    return FormatText(TTextId::AboutRights, years);
}

// --- The window ---

TfrmAbout::TfrmAbout(HWND owner) {
    TFormArgs args;
    args.ClassName = L"TfrmAbout";
    args.Caption = LoadText(TTextId::AboutCaption);
    args.ClientWidth = ClientWidth + 2 * Border;
    args.ClientHeight = ClientHeight + 2 * Border;
    args.ToolWindow = false;
    args.CloseBox = true;
    args.TopMost = true;
    CreateForm(args, owner);
    CentreOn(nullptr);
    ::SetWindowLongPtrW(Handle(), GWL_EXSTYLE, ::GetWindowLongPtrW(Handle(), GWL_EXSTYLE) | WS_EX_LAYERED);
    SetAlpha(255);
    FormCreate();
    GCurrentAbout = this;
}

TfrmAbout::~TfrmAbout() {
    if (GCurrentAbout == this) GCurrentAbout = nullptr;
    DestroyHandle();
}

TfrmAbout* TfrmAbout::Current() { return GCurrentAbout; }

void TfrmAbout::CreateControls() {
    const int hostHeight = ClientHeight - BarHeight;
    const RECT host = S(RECT{Border, Border, Border + ClientWidth, Border + hostHeight});
    HostPanel.Create(L"HostPanel", Handle(), host, false);
    AboutPanel.Create(L"AboutPanel", HostPanel.Handle(), RECT{0, 0, host.right - host.left, host.bottom - host.top},
                      true);
    const DWORD label = SS_LEFT | SS_NOPREFIX;
    ProductName = AboutPanel.AddControl(L"STATIC", L"", label, S(RECT{Margin, TitleTop, Margin + 1, TitleTop + 1}),
                                        BoldFont());
    Version = AboutPanel.AddControl(L"STATIC", L"", label, S(RECT{Margin, TitleTop, Margin + 1, TitleTop + 1}),
                                    BoldFont());
    CreditLabel = AboutPanel.AddControl(L"STATIC", LoadText(TTextId::AboutCredit), label,
                                        S(RECT{Margin, CreditTop, ClientWidth - Margin, CreditTop + 13}), Font());
    lblDonation = AboutPanel.AddControl(L"STATIC", L"", label, RECT{}, Font());
    lblEmail = AboutPanel.AddControl(L"STATIC", L"", SS_RIGHT | SS_NOPREFIX, RECT{}, Font());
    lblSoftware = AboutPanel.AddControl(L"STATIC", L"", label, RECT{}, Font());
    lblSite = AboutPanel.AddControl(L"STATIC", L"", SS_RIGHT | SS_NOPREFIX, RECT{}, Font());
    NoticeLabel = AboutPanel.AddControl(L"STATIC", L"", SS_CENTER | SS_NOPREFIX,
                                        S(RECT{4, NoticeTop, ClientWidth - 4, hostHeight - 4}), Font());
    AboutPanel.AddFill(S(RECT{Margin, RuleTop, ClientWidth - Margin, RuleTop + RuleHeight}), clGray);
    AboutPanel.SetTextColour(ProductName, clMaroon);
    AboutPanel.SetTextColour(Version, clNavy);
    AboutPanel.SetTextColour(CreditLabel, clNavy);
    AboutPanel.SetTextColour(NoticeLabel, clGray);

    const int buttonWidth = 75, buttonHeight = 23;
    OKButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonOK), WS_TABSTOP | BS_DEFPUSHBUTTON,
                          S(Border + ClientWidth - buttonWidth),
                          S(Border + hostHeight + (BarHeight - buttonHeight) / 2), S(buttonWidth), S(buttonHeight),
                          IDOK);
}

void TfrmAbout::FormCreate() {
    RECT host;
    ::GetClientRect(HostPanel.Handle(), &host);
    EggsForm = std::make_unique<TEasterEggsForm>(host.right, host.bottom, Dpi());
    ShownPanel = &AboutPanel;
}

void TfrmAbout::FormDestroy() {
    // The borrowed panel goes home first, so each window is destroyed by its owner.
    if (ShownPanel != nullptr && ShownPanel != &AboutPanel && EggsForm)
        ::SetParent(ShownPanel->Handle(), EggsForm->Handle());
    ShownPanel = nullptr;
    EggsForm.reset();
}

void TfrmAbout::FormDeactivate() {
    if (ModalResult() == mrNone) SetModalResult(mrCancel);
}

void TfrmAbout::FormClose() {
    // Only ends the showing; ShowAboutBox frees the window.
    if (ModalResult() == mrNone) SetModalResult(mrCancel);
}

void TfrmAbout::Prepare(int FirstYear, bool HideDonation, const TProgramVersion& ProgramVersion) {
    ::SetWindowTextW(NoticeLabel, RightsNotice(FirstYear, CurrentYear()).c_str());
    const std::wstring title = Application().Title();
    PlaceTitle(title, VersionText(ProgramVersion));

    ProgramKey = MakeProgramKey(title);
    const std::wstring site = MakerSite;
    const std::wstring softwarePage = site + L"software";
    PlaceLabel(lblDonation, LoadText(TTextId::AboutDonation), S(Margin), S(FirstLinkRow), false);
    PlaceLabel(lblEmail, ProgramKey + L"@" + MakerMailDomain, S(ClientWidth - Margin), S(FirstLinkRow), true);
    PlaceLabel(lblSoftware, LoadText(TTextId::AboutMoreSoftware), S(Margin), S(SecondLinkRow), false);
    PlaceLabel(lblSite, site, S(ClientWidth - Margin), S(SecondLinkRow), true);
    MakeLabelLink(lblEmail, L"mailto:" + ProgramKey + L"@" + MakerMailDomain);
    MakeLabelLink(lblSite, site);
    MakeLabelLink(lblDonation, site + L"software/donate.htm");
    MakeLabelLink(lblSoftware, softwarePage);
    if (HideDonation) ::ShowWindow(lblDonation, SW_HIDE);

    EggsForm->Prepare(site, softwarePage, ProgramKey, title);
}

void TfrmAbout::PlaceTitle(const std::wstring& title, const std::wstring& versionText) {
    const int points = title.size() < 11 ? 18 : 14;
    FTitleFont.Reset(CreateProgramFontForDpi(Dpi(), true, false, points));
    ::SendMessageW(ProductName, WM_SETFONT, reinterpret_cast<WPARAM>(FTitleFont.Get()), FALSE);
    ::SetWindowTextW(ProductName, title.c_str());
    const SIZE titleSize = MeasureLabelText(ProductName, title, FTitleFont.Get());
    ::MoveWindow(ProductName, S(Margin), S(TitleTop), titleSize.cx, titleSize.cy, TRUE);
    // The version stands 8 pixels to the right, its bottom level with the title's.
    ::SetWindowTextW(Version, versionText.c_str());
    const SIZE versionSize = MeasureLabelText(Version, versionText, BoldFont());
    ::MoveWindow(Version, S(Margin) + titleSize.cx + S(8), S(TitleTop) + titleSize.cy - versionSize.cy,
                 versionSize.cx, versionSize.cy, TRUE);
}

// Moved to a monitor of another scale: the controls have moved in proportion;
// the title's own font, the measured labels, the rule and the links' fonts follow.
void TfrmAbout::DpiChanged(TDpi old) {
    AboutPanel.ScaleFills(Dpi().Value, old.Value);
    PlaceTitle(WindowText(ProductName), WindowText(Version));
    auto& links = TLabelToLinkEventHandlers::Instance();
    links.ContainerMouseMove(AboutPanel.Handle());  // every link plain, with the font it was given
    for (HWND label : {lblDonation, lblEmail, lblSoftware, lblSite}) {
        const std::wstring target = links.Target(label);
        if (target.empty()) continue;
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE);
        const bool right = (::GetWindowLongPtrW(label, GWL_STYLE) & SS_TYPEMASK) == SS_RIGHT;
        RECT r;
        ::GetWindowRect(label, &r);
        ::MapWindowPoints(nullptr, AboutPanel.Handle(), reinterpret_cast<POINT*>(&r), 2);
        PlaceLabel(label, WindowText(label), right ? r.right : r.left, r.top, right);
        MakeLabelLink(label, target);
    }
}

void TfrmAbout::PlaceLabel(HWND label, const std::wstring& text, int x, int y, bool rightAligned) {
    ::SetWindowTextW(label, text.c_str());
    const SIZE size = MeasureLabelText(label, text, Font());
    ::MoveWindow(label, rightAligned ? x - size.cx : x, y, size.cx, size.cy, TRUE);
}

// --- Fading and the message loop ---

void TfrmAbout::SetAlpha(int alpha) {
    FAlpha = alpha;
    ::SetLayeredWindowAttributes(Handle(), 0, static_cast<BYTE>(alpha), LWA_ALPHA);
}

void TfrmAbout::FadeIn() {
    SetAlpha(0);
    ::ShowWindow(Handle(), SW_SHOW);
    ::SetForegroundWindow(Handle());
    const uint64_t start = ::GetTickCount64();
    while (FAlpha < 255) {
        int alpha = FAlpha > 255 - FadeStep - 1 ? 255 : FAlpha + FadeStep;
        if (::GetTickCount64() - start > FadeMilliseconds) alpha = 255;
        SetAlpha(alpha);
        ::UpdateWindow(Handle());
    }
}

void TfrmAbout::FadeOut() {
    const uint64_t start = ::GetTickCount64();
    while (FAlpha > 0 && Handle() != nullptr) {
        int alpha = FAlpha < FadeStep + 1 ? 0 : FAlpha - FadeStep;
        if (::GetTickCount64() - start > FadeMilliseconds) alpha = 0;
        SetAlpha(alpha);
        ::UpdateWindow(Handle());
    }
}

int TfrmAbout::RunUntilClosed() {
    MSG msg;
    while (ModalResult() == mrNone && Handle() != nullptr) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: close, and leave the request to the outer loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            SetModalResult(mrCancel);
            break;
        }
        if (got == -1) {
            SetModalResult(mrCancel);
            break;
        }
        if (PreviewKey(msg)) continue;
        ::TranslateMessage(&msg);
        try {
            ::DispatchMessageW(&msg);
        } catch (...) {
            Application().HandleException();
        }
    }
    return ModalResult() == mrNone ? mrCancel : ModalResult();
}

bool TfrmAbout::PreviewKey(const MSG& msg) {
    if (msg.hwnd != Handle() && !::IsChild(Handle(), msg.hwnd)) return false;
    switch (msg.message) {
        case WM_KEYDOWN:
            if (msg.wParam != VK_RETURN) return false;
            SetModalResult(mrOk);  // the default button
            return true;
        case WM_CHAR: {
            wchar_t key = static_cast<wchar_t>(msg.wParam);
            FormKeyPress(key);
            return false;
        }
        case WM_SYSCHAR:
            if (msg.wParam != L'o' && msg.wParam != L'O') return false;
            SetModalResult(mrOk);
            return true;
    }
    return false;
}

void TfrmAbout::FormKeyPress(wchar_t& Key) {
    if (Key >= L'a' && Key <= L'z') Key = static_cast<wchar_t>(Key - L'a' + L'A');
    if (Key >= L'A' && Key <= L'Z') {
        TypedWord.push_back(Key);
    } else {
        TypedWord.clear();
        ShowPanel(&AboutPanel);
    }
    if (TypedWord.size() > 2 && EggsForm) {
        if (TBevelPanel* panel = EggsForm->FindPanel(TypedWord + L"PANEL")) {
            ShowPanel(panel);
            TypedWord.clear();
        }
    }
}

void TfrmAbout::ShowPanel(TBevelPanel* panel) {
    if (panel == ShownPanel || panel == nullptr) return;
    if (ShownPanel != nullptr) {
        ::ShowWindow(ShownPanel->Handle(), SW_HIDE);
        if (ShownPanel != &AboutPanel && EggsForm) ::SetParent(ShownPanel->Handle(), EggsForm->Handle());
    }
    RECT host;
    ::GetClientRect(HostPanel.Handle(), &host);
    if (panel != &AboutPanel) ::SetParent(panel->Handle(), HostPanel.Handle());
    ::SetWindowPos(panel->Handle(), HWND_TOP, 0, 0, host.right, host.bottom, SWP_SHOWWINDOW);
    ShownPanel = panel;
    // A hidden panel may have taken the focus with it.
    HWND focus = ::GetFocus();
    if (focus == nullptr || (focus != Handle() && !::IsChild(Handle(), focus))) ::SetFocus(OKButton);
}

LRESULT TfrmAbout::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) SetModalResult(mrOk);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                FormDeactivate();
            } else {
                ::SetFocus(OKButton);
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            // Leaving the links across the button bar returns them to plain as well.
            TLabelToLinkEventHandlers::Instance().ContainerMouseMove(AboutPanel.Handle());
            break;
        case WM_CLOSE:
            FormClose();
            return 0;
        case WM_DESTROY:
            FormDestroy();
            break;
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    return TModalForm::HandleMessage(message, wParam, lParam);
}

int ShowAboutBox(int FirstYear, bool HideDonation, HWND owner) {
    if (owner == nullptr) owner = Application().MainForm();
    TOwnerDisabler disabled(owner);
    const TProgramVersion version = ReadProgramVersion(VersionFileName());
    TfrmAbout form(owner);
    form.Prepare(FirstYear, HideDonation, version);
    form.FadeIn();
    const int result = form.RunUntilClosed();
    form.FadeOut();
    // The owner comes back before the window hides, so the activation returns to it.
    disabled.Restore();
    if (form.Handle() != nullptr) ::ShowWindow(form.Handle(), SW_HIDE);
    return result;
}
