#include "ui/VantrelUnit.h"
#include "texts/Texts.h"

#include "app/AutoMode.h"
#include "catalogue/BrowserActions.h"
#include "catalogue/Catalogue.h"
#include "catalogue/VolumeCacheAction.h"
#include "catalogue/Winapp2Action.h"
#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
#include "ui/ActionImages.h"
#include "ui/Application.h"
#include "ui/ErrorReport.h"
#include "ui/FlatButton.h"
#include "ui/LegendFormUnit.h"
#include "ui/OrvViewAbout.h"
#include "ui/PreviewVantrelUnit.h"
#include "ui/SetupVantrelUnit.h"
#include "ui/VolumeCachesForm.h"
#include "ui/Winapp2EntriesForm.h"
#include "settings/VolumeCacheTicks.h"
#include "settings/Winapp2Ticks.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>

namespace {

constexpr DWORD MainFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr UINT WM_FIRST_ACTIVATION = WM_APP + 1;
constexpr UINT WM_SETTINGS_LOADED = WM_APP + 2;

enum TCommandId : int {
    cmStartReading = 100,
    cmStopReading,
    cmStartCleanup,
    cmExit,
    cmSetup,
    cmLegend,
    cmAbout,
    cmSelectAll,
    cmDeselectAll,
    cmDefaultSelection,
    cmWinapp2,
    cmVolumeCaches,
};
constexpr int idCleanupActionsList = 200;
constexpr int idSpeedButton1 = 201;

// Layout, in client pixels at 96 DPI. The window's border of 5 lies inside the
// client area, around everything else; the menu bar (ui/MenuBar.h) is at its top.
constexpr int FormBorder = 5;
constexpr int Panel1Height = 7;
constexpr int BevelWidth = 2;
constexpr int Label1Height = 15;
constexpr int Panel5Height = 35;
constexpr int Panel4Border = 2;
constexpr int CleanupBtnPanelWidth = 91;
constexpr int StatusLineHeight = 13;
constexpr int GaugeHeight = 4;
constexpr int SpeedButtonLeft = 6, SpeedButtonTop = 6, SpeedButtonWidth = 79, SpeedButtonHeight = 22;

int ClientHeightForRows(int rows) {
    return Panel1Height + 2 * BevelWidth + Label1Height + rows * TActionCheckList::RowHeight + Panel5Height;
}

// The gauge draws itself: a navy bar on white over its whole height, with no
// frame, whatever the theme would draw.
void PaintGauge(HWND wnd, HDC dc, const RECT& client) {
    const int low = static_cast<int>(::SendMessageW(wnd, PBM_GETRANGE, TRUE, 0));
    const int high = static_cast<int>(::SendMessageW(wnd, PBM_GETRANGE, FALSE, 0));
    const int position = static_cast<int>(::SendMessageW(wnd, PBM_GETPOS, 0, 0));
    const int filled = high > low ? ::MulDiv(client.right, position - low, high - low) : 0;
    RECT bar{0, 0, std::clamp(filled, 0, static_cast<int>(client.right)), client.bottom};
    RECT rest{bar.right, 0, client.right, client.bottom};
    TBrush navy(::CreateSolidBrush(clNavy));
    ::FillRect(dc, &bar, navy.Get());
    ::FillRect(dc, &rest, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
}

HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id, HFONT font) {
    HWND wnd = ::CreateWindowExW(0, className, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                 nullptr);
    if (wnd == nullptr) RaiseLastOSError();
    ::SendMessageW(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return wnd;
}

std::wstring TrimBlanksAndControls(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && text[first] <= L' ') ++first;
    while (last > first && text[last - 1] <= L' ') --last;
    return text.substr(first, last - first);
}

}  // namespace

// --- Creation ---

TVantrelForm::TVantrelForm(bool autoMode) : FAutoMode(autoMode) {
    FDpi = SystemDpi();
    MakeFonts();
    CreateMenus();

    TCreateArgs args;
    args.ClassName = L"TVantrelForm";
    args.Caption = Application().Title();
    args.Style = MainFormStyle;
    args.Parent = Application().Handle();
    args.Icon = ::LoadIconW(::GetModuleHandleW(nullptr), L"MAINICON");
    args.Width = ClientWidth;
    args.Height = ::GetSystemMetrics(SM_CYSCREEN);
    CreateHandle(args);
    // The window may stand on a monitor of another scale than the system's.
    if (DpiOfWindow(Handle()) != FDpi) {
        FDpi = DpiOfWindow(Handle());
        MakeFonts();
    }
    FMenuLook.SetDpi(FDpi);
    SetWindowIcons();
    Application().SetMainForm(Handle());
    CreateControls();

    try {
        FormCreate();
    } catch (...) {
        // The window still opens; the error is reported the usual way. An automatic
        // run cannot go on without its actions and settings, and nobody would close it.
        Application().HandleException(LoadText(TTextId::ErrorContextStartup));
        if (FAutoMode) ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
    }
    LayoutControls();

    RECT window;
    ::GetWindowRect(Handle(), &window);
    const int width = window.right - window.left, height = window.bottom - window.top;
    ::SetWindowPos(Handle(), nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(Handle(), FAutoMode ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL);
    ::UpdateWindow(Handle());
    // The first activation starts reading; it is taken from the message loop so
    // the pass never runs inside this constructor or inside ShowWindow. A window
    // that was already active when shown gets no WM_ACTIVATE: an error box of the
    // creation steps, owned by the still hidden window, hands the activation back
    // to it when it closes.
    if (FAutoMode || ::GetActiveWindow() == Handle()) ::PostMessageW(Handle(), WM_FIRST_ACTIVATION, 0, 0);
}

TVantrelForm::~TVantrelForm() {
    DestroyHandle();
    // The bar's model was never given to the window, which would have destroyed it.
    if (FMainMenu != nullptr) ::DestroyMenu(FMainMenu);
}

// The caption's and the task bar's icons, picked from the icon resource for the scale.
void TVantrelForm::SetWindowIcons() {
    ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(ProgramIcon(SystemMetricForDpi(SM_CXSMICON, FDpi))));
    ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon(SystemMetricForDpi(SM_CXICON, FDpi))));
}

void TVantrelForm::MakeFonts() {
    FFont.Reset(CreateProgramFontForDpi(FDpi));
    FBoldFont.Reset(CreateProgramFontForDpi(FDpi, true));
}

void TVantrelForm::CreateMenus() {
    FMainMenu = ::CreateMenu();
    FFileMenu = ::CreatePopupMenu();
    FHelpMenu = ::CreatePopupMenu();
    // The bar's items; FMenuBar shows them.
    ::AppendMenuW(FMainMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(FFileMenu), LoadText(TTextId::MenuFile).c_str());
    ::AppendMenuW(FMainMenu, MF_STRING, cmSetup, LoadText(TTextId::MenuSetup).c_str());
    ::AppendMenuW(FMainMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(FHelpMenu), LoadText(TTextId::MenuHelp).c_str());
    FMenuLook.Append(FHelpMenu, cmLegend, LoadText(TTextId::MenuLegend));
    FMenuLook.Append(FHelpMenu, cmAbout, LoadText(TTextId::MenuAbout), aiAbout);
    RebuildFileMenu();
}

void TVantrelForm::RebuildFileMenu() {
    while (::GetMenuItemCount(FFileMenu) > 0) ::DeleteMenu(FFileMenu, 0, MF_BYPOSITION);
    FMenuLook.Forget(FFileMenu);
    if (FIdleCommands) FMenuLook.Append(FFileMenu, cmStartReading, LoadText(TTextId::MenuReadAgain), aiReadAgain);
    if (!FIdleCommands)
        FMenuLook.Append(FFileMenu, cmStopReading, LoadText(TTextId::MenuStopReading), aiStop, !FCommandsEnabled);
    if (FIdleCommands) FMenuLook.Append(FFileMenu, cmStartCleanup, LoadText(TTextId::MenuClean), aiClean);
    if (FIdleCommands && FWinapp2Item != nullptr)
        FMenuLook.Append(FFileMenu, cmWinapp2, LoadText(TTextId::MenuOtherApplications));
    if (FIdleCommands && FVolumeCacheItem != nullptr)
        FMenuLook.Append(FFileMenu, cmVolumeCaches, LoadText(TTextId::MenuVolumeCaches));
    FMenuLook.Append(FFileMenu, cmExit, LoadText(TTextId::MenuExit));
    ::EnableMenuItem(FMainMenu, cmSetup, MF_BYCOMMAND | (FCommandsEnabled ? MF_ENABLED : MF_GRAYED));
    FMenuBar.Refresh();
}

// Owner-drawn items keep the size they were measured at: each is told its
// type again, so the next showing measures it at the new scale.
void TVantrelForm::RemeasureMenus() {
    for (HMENU menu : {FFileMenu, FHelpMenu})
        for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE;
            info.fType = MFT_OWNERDRAW;
            ::SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
        }
    FMenuBar.SetDpi(FDpi, FFont.Get());
}

void TVantrelForm::HandleDpiChanged(int dpi, const RECT& suggested) {
    FDpi = TDpi{dpi};
    MakeFonts();
    FMenuLook.SetDpi(FDpi);
    for (HWND control : {FLabel1, FCleanupActionsListBox.Handle(), FStatus1Label, FStatus2Label, FSpeedButton1})
        ::SendMessageW(control, WM_SETFONT,
                       reinterpret_cast<WPARAM>(control == FLabel1 || control == FSpeedButton1 ? FBoldFont.Get()
                                                                                               : FFont.Get()),
                       FALSE);
    FCleanupActionsListBox.SetDpi(FDpi);
    RemeasureMenus();
    SetWindowIcons();
    ::SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutControls();
}

void TVantrelForm::CreateControls() {
    FMenuBar.Create(Handle(), FMainMenu, FFont.Get());
    FLabel1 = CreateChild(Handle(), L"STATIC", LoadText(TTextId::MainActionsHeading).c_str(),
                          WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, FBoldFont.Get());
    FCleanupActionsListBox.Create(Handle(), idCleanupActionsList, FFont.Get());
    FCleanupActionsListBox.OnCheckClick = [this](int) { HandleCleanupActionsChangeSelection(); };
    FCleanupActionsListBox.OnRowClick = [this](int row) { HandleCleanupActionsClick(row); };
    FCleanupActionsListBox.OnMouseMove = [this](POINT p) { HandleCleanupActionsMouseMove(p); };
    FCleanupActionsListBox.OnContextMenu = [this](POINT p) { ShowCleanupActionsPopupMenu(p); };
    FStatus1Label = CreateChild(Handle(), L"STATIC", L"", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, FFont.Get());
    FStatus2Label = CreateChild(Handle(), L"STATIC", L"", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, FFont.Get());
    FGauge = CreateChild(Handle(), PROGRESS_CLASSW, L"", PBS_SMOOTH, 0, FFont.Get());
    ::SetWindowLongPtrW(FGauge, GWL_EXSTYLE, ::GetWindowLongPtrW(FGauge, GWL_EXSTYLE) & ~WS_EX_STATICEDGE);
    PaintControlWith(FGauge, PaintGauge);
    FSpeedButton1 = CreateChild(Handle(), L"BUTTON", LoadText(TTextId::ButtonClean).c_str(), WS_VISIBLE | BS_OWNERDRAW,
                                idSpeedButton1, FBoldFont.Get());
}

// Every edge is its 96-DPI place scaled, so the window keeps its proportions at
// any scale; the rows take the list's height in whole pixels, and what is left
// of it stays white under the last row.
void TVantrelForm::LayoutControls() {
    const TDpi s = FDpi;
    const int rows = TActionCheckList::RowsFor(FCleanupActionsListBox.Count());
    const int width96 = ClientWidth + 2 * FormBorder;
    const int height96 = TMenuBar::Height + ClientHeightForRows(rows) + 2 * FormBorder;
    SizeClientTo(s(width96), s(height96));

    const auto place = [&](HWND control, int left, int top, int right, int bottom) {
        ::MoveWindow(control, s(left), s(top), s(right) - s(left), s(bottom) - s(top), FALSE);
    };
    const int left = FormBorder, right = FormBorder + ClientWidth, top = FormBorder + TMenuBar::Height;
    place(FMenuBar.Handle(), left, FormBorder, right, top);
    FPanel3Bounds = s(RECT{left, top + Panel1Height, right, top + ClientHeightForRows(rows)});
    int y = top + Panel1Height + BevelWidth;
    place(FLabel1, left + BevelWidth, y, right - BevelWidth, y + Label1Height);
    y += Label1Height;
    const int listHeight = rows * TActionCheckList::RowHeight;
    FCleanupActionsListBox.SetDpi(s);
    FCleanupActionsListBox.SetBounds(s(left + BevelWidth), s(y), s(right - BevelWidth) - s(left + BevelWidth),
                                     s(y + listHeight) - s(y), rows);
    y += listHeight;
    // Panel5: status lines and gauge (Panel4) on the left, the clean button on the right.
    const int inner = left + BevelWidth + Panel4Border;
    const int panel4Right = right - BevelWidth - CleanupBtnPanelWidth;
    place(FStatus1Label, inner, y + Panel4Border, panel4Right - Panel4Border, y + Panel4Border + StatusLineHeight);
    place(FStatus2Label, inner, y + Panel4Border + StatusLineHeight, panel4Right - Panel4Border,
          y + Panel4Border + 2 * StatusLineHeight);
    place(FGauge, inner, y + Panel5Height - Panel4Border - GaugeHeight, panel4Right - Panel4Border,
          y + Panel5Height - Panel4Border);
    place(FSpeedButton1, panel4Right + SpeedButtonLeft, y + SpeedButtonTop, panel4Right + SpeedButtonLeft + SpeedButtonWidth,
          y + SpeedButtonTop + SpeedButtonHeight);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

// Sizes the window so that its client area is Width x Height; where the frame
// comes out otherwise than calculated, the size is corrected by what the
// client area really got.
void TVantrelForm::SizeClientTo(int width, int height) {
    RECT bounds{0, 0, width, height};
    AdjustWindowRectForDpi(bounds, MainFormStyle, false, 0, FDpi);
    ::SetWindowPos(Handle(), nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int attempt = 0; attempt < 2; ++attempt) {
        RECT client, window;
        ::GetClientRect(Handle(), &client);
        ::GetWindowRect(Handle(), &window);
        const int dx = width - client.right, dy = height - client.bottom;
        if (dx == 0 && dy == 0) break;
        ::SetWindowPos(Handle(), nullptr, 0, 0, window.right - window.left + dx, window.bottom - window.top + dy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void TVantrelForm::FormCreate() {
    FDirReader = std::make_unique<TDirReader>();
    FDirReader->Recursive = true;
    FDirReader->FileMask = L"*.*";
    FDirReader->OnFile = [this](TDirReader* s, const std::wstring& f) { HandleDirReaderFile(s, f); };
    FDirReader->OnDirectory = [this](TDirReader* s, const std::wstring& d) { HandleDirReaderDirectory(s, d); };
    FDirReader->OnFinished = [this](TDirReader* s) { HandleDirReaderFinished(s); };
    GetFixedDrives(FDrives);
    FActionList = std::make_unique<TCleanupList>();
    FActionList->OnStatus = [this](TCleanupCustomItem* s, const std::wstring& t) { HandleCleanupListStatus(s, t); };
    FCleanupActionsListBox.Clear();
    BuildCleanupActions();
    LayoutControls();

    if (FAutoMode) {
        ::EnableWindow(Handle(), FALSE);
        ::SetWindowTextW(Handle(), FormatText(TTextId::MainAutoModeCaption, Application().Title()).c_str());
    }
    // A settings file of many megabytes takes MSXML seconds: it is read on a
    // thread of its own while the window shows and answers Stop and Alt+F4.
    FSettingsPending = true;
    SetControlsIdle(false);
    SetStatus1(LoadText(TTextId::StatusReadingSettings));
    FSettingsLoad = std::make_unique<TSettingsLoad>(GetSettingsFileName(), Handle(), WM_SETTINGS_LOADED);
    FFirstActivation = true;
}

// The loading thread is done. A window that is closing takes nothing: it writes
// no settings it has not read.
void TVantrelForm::SettingsLoaded() {
    if (!FSettingsLoad || FCloseRequested) return;
    const std::unique_ptr<TSettingsLoad> load = std::move(FSettingsLoad);
    try {
        ApplySettings(load->Take());
    } catch (...) {
        // As an error of the window's creation: the window stays, without a pass; an automatic run ends.
        SetStatus1(L"");
        Application().HandleException(LoadText(TTextId::ErrorContextStartup));
        if (FAutoMode) ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
    }
}

void TVantrelForm::ApplySettings(TLoadedSettings Loaded) {
    FSettings.emplace(std::move(Loaded.Settings));
    if (!Loaded.ErrorMessage.empty()) FSettingsUnreadable = true;
    std::vector<bool> ticks;
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row) ticks.push_back(FCleanupActionsListBox.Checked(row));
    LoadActionTicks(*FSettings, *FActionList, ticks);
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row) FCleanupActionsListBox.SetChecked(row, ticks[row]);
    if (FWinapp2Item != nullptr) {
        // The rules come from a worker after the first paint (FormActivate):
        // their ticks and the row's count follow them.
        FWinapp2Item->OnRulesReady = [this](TCleanupWinapp2Item& item) {
            FTakingWinapp2Rules = true;
            LoadWinapp2Ticks(*FSettings, item.Rules);
            item.RebuildFoundFiles();
            FCleanupActionsListBox.SetRowText(FWinapp2Row, item.RowText());
            FTakingWinapp2Rules = false;
        };
        // Taken in already (a hint asked for them while the settings were read):
        // their ticks must still come from the file, or leaving would store none.
        if (FWinapp2Item->RulesReady()) FWinapp2Item->OnRulesReady(*FWinapp2Item);
    }
    if (FVolumeCacheItem != nullptr) {
        FVolumeCacheItem->LoadTicks(LoadVolumeCacheTicks(*FSettings));
        FCleanupActionsListBox.SetRowText(FVolumeCacheRow, FVolumeCacheItem->RowText());
    }
    LoadExcludedDirectories(std::move(Loaded.ExcludeDirectories));
    ValidateVantrelSettings(*FSettings);
    SetStatus1(L"");
    // The box's own message loop must not start a pass: the settings count as
    // pending until it is closed.
    if (FSettingsUnreadable) ReportError(Handle(), Loaded.ErrorMessage, LoadText(TTextId::ErrorContextReadSettings));
    FSettingsPending = false;

    // The defaults would ignore every exclusion and untick the user made: a
    // scheduled run with settings it cannot read cleans nothing, keeps the file
    // for the user to mend and ends with the failure code.
    if (FAutoMode && FSettingsUnreadable) {
        WriteRunLogLine(LoadText(TTextId::LogAutoSettingsUnreadable));
        try {
            FSettings->KeepUnreadableFile();
        } catch (...) {
            ReportCurrentException(Handle(), LoadText(TTextId::ErrorContextReadSettings));
        }
        ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
        return;
    }
    if (FStoppedWhileLoading) {
        // Stopped before it began: the window is idle as after a stopped pass.
        FFirstActivation = false;
        FReadingStopped = true;
        FDriveIndex = static_cast<int>(FDrives.size()) - 1;
        HandleDirReaderFinished(FDirReader.get());
        return;
    }
    // From the message loop, as the first activation always starts the pass.
    if (FActivatedWhileLoading) ::PostMessageW(Handle(), WM_FIRST_ACTIVATION, 0, 0);
}

void TVantrelForm::BuildCleanupActions() {
    for (const auto& row : CleanupCatalogue()) AddCleanupAction(row.ItemClass, row.DefaultChecked);
}

void TVantrelForm::AddCleanupAction(const TCleanupItemClass& ItemClass, bool DefaultChecked) {
    if (!ItemClass.IsAvailable()) return;
    TCleanupCustomItem& action = FActionList->AddAction(ItemClass, DefaultChecked);
    const int row = FCleanupActionsListBox.AddRow(action.Name, DefaultChecked);
    if (auto* winapp2 = dynamic_cast<TCleanupWinapp2Item*>(&action)) {
        FWinapp2Item = winapp2;
        FWinapp2Row = row;
        RebuildFileMenu();
    }
    if (auto* volumeCaches = dynamic_cast<TCleanupVolumeCacheItem*>(&action)) {
        FVolumeCacheItem = volumeCaches;
        FVolumeCacheRow = row;
        volumeCaches->AutomaticRun = FAutoMode;
        // A handler that crashed, hung or failed is an error of the run, like any
        // failing action; the others have run by then.
        volumeCaches->OnFailure = [this](const std::wstring& message) {
            ReportError(Handle(), message, FormatText(TTextId::ErrorContextAction, FVolumeCacheItem->Name));
        };
        RebuildFileMenu();
    }
}

void TVantrelForm::FormActivate() {
    if (!FFirstActivation) return;
    if (FSettingsPending) {
        FActivatedWhileLoading = true;  // the pass starts when the settings are there
        return;
    }
    FFirstActivation = false;
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Painted: now the winapp2.ini rules read on their worker are taken in.
    if (FWinapp2Item != nullptr) FWinapp2Item->WaitForRules();
    if (!FAutoMode) {
        StartReadingActionExecute();
        return;
    }
    // Nobody closes an automatic run's window: whatever fails, the run ends.
    try {
        StartReadingActionExecute();
    } catch (...) {
        Application().HandleException(LoadText(TTextId::ErrorContextAutoCleanup));
        RequestClose();
    }
}

void TVantrelForm::FormCloseQuery() { StopReadingActionExecute(); }

void TVantrelForm::FormDestroy() {
    if (!FSettings || !FActionList) return;
    // Nobody chose these ticks: the unreadable file stays as it is for the user.
    if (FAutoMode && FSettingsUnreadable) return;
    std::vector<bool> ticks;
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row) ticks.push_back(FCleanupActionsListBox.Checked(row));
    if (FWinapp2Item != nullptr && FWinapp2Item->RulesReady()) StoreWinapp2Ticks(*FSettings, FWinapp2Item->Rules);
    if (FVolumeCacheItem != nullptr) {
        FVolumeCacheItem->Stop();
        StoreVolumeCacheTicks(*FSettings, FVolumeCacheItem->Handlers());
    }
    SaveVantrelSettingsOnExit(*FSettings, *FActionList, ticks);
}

void TVantrelForm::HandleDestroyed() {
    if (Application().MainForm() == nullptr) return;
    Application().SetMainForm(nullptr);
    ::PostQuitMessage(0);
}

// --- Messages ---

LRESULT TVantrelForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            HandleCommand(LOWORD(wParam));
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && FFirstActivation) ::PostMessageW(Handle(), WM_FIRST_ACTIVATION, 0, 0);
            break;
        case WM_FIRST_ACTIVATION:
            FormActivate();
            return 0;
        case WM_SETTINGS_LOADED:
            SettingsLoaded();
            return 0;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (FMenuLook.Draw(item)) return TRUE;
            if (item.CtlID == idCleanupActionsList) HandleCleanupActionsDrawItem(item);
            else if (item.CtlID == idSpeedButton1) DrawCleanButton(item);
            return TRUE;
        }
        case WM_MEASUREITEM: {
            auto& item = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (!FMenuLook.Measure(Handle(), item)) item.itemHeight = static_cast<UINT>(FCleanupActionsListBox.ItemHeight());
            return TRUE;
        }
        case WM_DPICHANGED:
            HandleDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_SYSCHAR:
            if (HandleAccelerator(static_cast<wchar_t>(wParam))) return 0;
            break;
        case WM_SYSCOMMAND:
            // Alt or F10 alone opens the first menu of the bar, as a system menu bar does.
            if ((wParam & 0xFFF0) == SC_KEYMENU && lParam == 0 && ::IsWindowEnabled(Handle())) {
                FMenuBar.OpenFirst();
                return 0;
            }
            break;
        case WM_SETFOCUS:
            // The keyboard works the list: arrows move, space ticks.
            ::SetFocus(FCleanupActionsListBox.Handle());
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
            return HandleControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_PAINT:
            PaintForm();
            return 0;
        case WM_CLOSE:
            RequestClose();
            return 0;
        case WM_SETCURSOR:
            if (!FCommandsEnabled) {
                ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));  // a cleanup pass is running
                return TRUE;
            }
            break;
        case WM_DESTROY:
            try {
                FormDestroy();
            } catch (...) {
                Application().HandleException(LoadText(TTextId::ErrorContextSaveSettings));
            }
            break;
    }
    return DefaultHandler(message, wParam, lParam);
}

// Alt with a letter: the clean button's "C", else an item of the menu bar.
bool TVantrelForm::HandleAccelerator(wchar_t key) {
    if (!::IsWindowEnabled(Handle())) return false;
    if ((key == L'c' || key == L'C') && CleanButtonVisible() && ::IsWindowEnabled(FSpeedButton1)) {
        StartCleanupActionExecute();
        return true;
    }
    return FMenuBar.HandleAccelerator(key);
}

void TVantrelForm::HandleCommand(int id) {
    switch (id) {
        case cmStartReading: StartReadingActionExecute(); break;
        case cmStopReading: StopReadingActionExecute(); break;
        case cmStartCleanup:
        case idSpeedButton1: StartCleanupActionExecute(); break;
        case cmExit: ExitActionExecute(); break;
        case cmSetup: SetupActionExecute(); break;
        case cmLegend: LegendActionExecute(); break;
        case cmAbout: AboutActionExecute(); break;
        case cmSelectAll: SelectAllItemsActionExecute(); break;
        case cmDeselectAll: DeselectAllItemsActionExecute(); break;
        case cmDefaultSelection: DefaultSelectionActionExecute(); break;
        case cmWinapp2: Winapp2ActionExecute(); break;
        case cmVolumeCaches: VolumeCachesActionExecute(); break;
        default: break;
    }
}

// Closing is never refused: a running reading pass is stopped, and the program
// ends when the message loop sees the quit request. The window itself goes when
// the loop has unwound every pass still on the stack.
void TVantrelForm::RequestClose() {
    FormCloseQuery();
    if (FCloseRequested) return;
    FCloseRequested = true;
    ::ShowWindow(Handle(), SW_HIDE);
    ::PostQuitMessage(0);
}

void TVantrelForm::ExitActionExecute() { RequestClose(); }

LRESULT TVantrelForm::HandleControlColour(HDC dc, HWND control) {
    ::SetBkColor(dc, clWhite);
    ::SetTextColor(dc, control == FCleanupActionsListBox.Handle() ? ::GetSysColor(COLOR_WINDOWTEXT) : clNavy);
    return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
}

void TVantrelForm::PaintForm() {
    TPaintDC paint(Handle());
    RECT client;
    ::GetClientRect(Handle(), &client);
    ::FillRect(paint.Get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT panel = FPanel3Bounds;
    ::FillRect(paint.Get(), &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(paint.Get(), &panel, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
}

void TVantrelForm::DrawCleanButton(const DRAWITEMSTRUCT& item) {
    DrawFlatButton(item, LoadText(TTextId::ButtonClean), aiClean, FBoldFont.Get(), clWhite, FDpi);
}

// --- The list ---

void TVantrelForm::HandleCleanupActionsDrawItem(const DRAWITEMSTRUCT& item) {
    if (!FActionList || item.itemID == static_cast<UINT>(-1) || static_cast<int>(item.itemID) >= FActionList->Count())
        return;
    FCleanupActionsListBox.DrawRow(item, FActionList->Items(static_cast<int>(item.itemID)).GetState());
}

void TVantrelForm::HandleCleanupActionsMouseMove(POINT point) {
    const int row = FCleanupActionsListBox.RowAt(point);
    if (row < 0 || !FActionList || !FSettings) {
        FCleanupActionsListBox.SetHint(L"");
        return;
    }
    TCleanupCustomItem& action = FActionList->Items(row);
    action.FileProtection = FileProtection();
    std::wstring first, second;
    action.GetFirstInfoLine(first);
    action.GetSecondInfoLine(second);
    std::wstring hint = TrimBlanksAndControls(first + L"\r" + second);
    const auto* fileMaskItem = dynamic_cast<const TCleanupFileMaskItem*>(&action);
    if (fileMaskItem != nullptr && !fileMaskItem->FoundFiles.empty())
        hint += L"\r" + FormatText(TTextId::MainHintFilesFound, fileMaskItem->FoundFiles.size(),
                FormatSizeText(static_cast<double>(fileMaskItem->FoundFiles.TotalSize())));
    FCleanupActionsListBox.SetHint(hint);
}

void TVantrelForm::HandleCleanupActionsChangeSelection() {
    FCheckClicked = true;
    TicksChanged();
    ReadAgainForWinapp2();
}

void TVantrelForm::TicksChanged() {
    if (FActionList == nullptr) return;
    for (int row = 0; row < FCleanupActionsListBox.Count() && row < FActionList->Count(); ++row)
        FActionList->SetChecked(row, FCleanupActionsListBox.Checked(row));
    if (FShowsFreeSpace) SetStatus1(FreeSpaceStatusText());
}

void TVantrelForm::ReadAgainForWinapp2() {
    // The winapp2.ini row costs a pass nothing while unticked: ticked by the
    // user after a pass that did not read for it, it needs one that does.
    if (FWinapp2Item != nullptr && FWinapp2Item->Checked && !FWinapp2Item->ReadInLastPass() && !FReading &&
        !FFirstActivation && !FTakingWinapp2Rules && FWinapp2Item->RulesReady() && FCommandsEnabled && !FAutoMode)
        StartReadingActionExecute();
}

std::wstring TVantrelForm::FreeSpaceStatusText() {
    std::wstring text = FormatText(TTextId::MainFreeSpace, FormatSizeText(FFreeSpaceAfterReading));
    uint64_t freeable = FActionList->CheckedFoundBytes();
    // With what the ticked disk cleanup handlers said they would free.
    if (FVolumeCacheItem != nullptr && FVolumeCacheItem->Checked) freeable += FVolumeCacheItem->CheckedBytes();
    if (freeable > 0) text += FormatText(TTextId::MainFreeable, FormatSizeText(static_cast<double>(freeable)));
    return text;
}

void TVantrelForm::HandleCleanupActionsClick(int row) {
    // A tick comes first and sets FCheckClicked: it never opens the detail window,
    // and nothing opens while a reading pass runs.
    if (!FReading && !FCheckClicked && row >= 0 && FActionList && FSettings) ShowActionDetails(row);
    FCheckClicked = false;
}

void TVantrelForm::ShowActionDetails(int row) {
    if (row == FWinapp2Row) {
        Winapp2ActionExecute();
        return;
    }
    if (row == FVolumeCacheRow) {
        VolumeCachesActionExecute();
        return;
    }
    ::EnableWindow(Handle(), FALSE);
    TCleanupCustomItem& action = FActionList->Items(row);
    // The detail window's cleanup must not write into this window's status lines.
    TStatusEvent keptOnStatus = std::move(action.OnStatus);
    action.OnStatus = nullptr;
    try {
        TCleanupActionInfoForm details;
        details.PerformItem = [this](TCleanupCustomItem& item) {
            FActionList->PerformAlone(item);
            // What a browser action left is this cleanup's error, shown as the pass shows it.
            const auto* browser = dynamic_cast<const TBrowserActionItem*>(&item);
            if (browser == nullptr || browser->Failures().empty()) return;
            std::wstring text = LoadText(TTextId::FailuresHeading);
            for (const std::wstring& line : browser->Failures()) text += L"\r\n" + line;
            throw Exception(text);
        };
        details.ShowActionInfo(action, *FSettings, Handle());
    } catch (...) {
        action.OnStatus = std::move(keptOnStatus);
        ::EnableWindow(Handle(), TRUE);
        throw;
    }
    action.OnStatus = std::move(keptOnStatus);
    TicksChanged();  // its cleanup may have emptied lists
    // Hiding and showing again redraws the list with the action's new state.
    ::ShowWindow(Handle(), SW_HIDE);
    ::ShowWindow(Handle(), SW_SHOW);
    ::EnableWindow(Handle(), TRUE);
    ::SetForegroundWindow(Handle());
}

void TVantrelForm::Winapp2ActionExecute() {
    if (FWinapp2Item == nullptr || FReading || !FCommandsEnabled) return;
    FWinapp2Item->WaitForRules();
    TStatusSnapshot snapshot;
    BeginModalStatus(LoadText(TTextId::StatusModalOtherApplications), snapshot);
    try {
        TWinapp2EntriesForm form(*FWinapp2Item);
        if (form.ShowEntries(Handle()) == mrOk) UpdateWinapp2Row();
    } catch (...) {
        EndModalStatus(snapshot);
        throw;
    }
    EndModalStatus(snapshot);
    TicksChanged();
    ReadAgainForWinapp2();
}

void TVantrelForm::UpdateWinapp2Row() {
    if (FWinapp2Item == nullptr) return;
    // Ticking entries means cleaning them: the row follows whether any is ticked.
    FCleanupActionsListBox.SetChecked(FWinapp2Row, FWinapp2Item->Rules.CheckedCount() > 0);
    FCleanupActionsListBox.SetRowText(FWinapp2Row, FWinapp2Item->RowText());
    RefreshList();
}

void TVantrelForm::VolumeCachesActionExecute() {
    if (FVolumeCacheItem == nullptr || FReading || !FCommandsEnabled) return;
    TStatusSnapshot snapshot;
    BeginModalStatus(LoadText(TTextId::StatusModalVolumeCaches), snapshot);
    try {
        TVolumeCachesForm form(*FVolumeCacheItem);
        if (form.ShowHandlers(Handle()) == mrOk) UpdateVolumeCacheRow();
    } catch (...) {
        EndModalStatus(snapshot);
        throw;
    }
    EndModalStatus(snapshot);
    TicksChanged();
}

void TVantrelForm::UpdateVolumeCacheRow() {
    if (FVolumeCacheItem == nullptr) return;
    FCleanupActionsListBox.SetChecked(FVolumeCacheRow, FVolumeCacheItem->CheckedCount() > 0);
    FCleanupActionsListBox.SetRowText(FVolumeCacheRow, FVolumeCacheItem->RowText());
    RefreshList();
}

void TVantrelForm::LegendActionExecute() {
    TStatusSnapshot snapshot;
    BeginModalStatus(LoadText(TTextId::StatusModalLegend), snapshot);
    try {
        ShowLegend(Handle());
    } catch (...) {
        EndModalStatus(snapshot);
        throw;
    }
    EndModalStatus(snapshot);
}

void TVantrelForm::AboutActionExecute() {
    TStatusSnapshot snapshot;
    BeginModalStatus(LoadText(TTextId::StatusModalAbout), snapshot);
    try {
        ShowAboutBox(2004, false, Handle());
    } catch (...) {
        EndModalStatus(snapshot);
        throw;
    }
    EndModalStatus(snapshot);
}

void TVantrelForm::ShowCleanupActionsPopupMenu(POINT screenPoint) {
    HMENU popup = ::CreatePopupMenu();
    FMenuLook.Append(popup, cmSelectAll, LoadText(TTextId::MenuSelectAll), aiSelectAll);
    FMenuLook.Append(popup, cmDeselectAll, LoadText(TTextId::MenuDeselectAll), aiSelectNone);
    FMenuLook.Append(popup, cmDefaultSelection, LoadText(TTextId::MenuDefaultSelection));
    if (screenPoint.x == -1 && screenPoint.y == -1) ::GetCursorPos(&screenPoint);
    ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screenPoint.x, screenPoint.y, 0, Handle(), nullptr);
    ::DestroyMenu(popup);
    FMenuLook.Forget(popup);
}

void TVantrelForm::SelectAllItemsActionExecute() {
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row) FCleanupActionsListBox.SetChecked(row, true);
    TicksChanged();
}

void TVantrelForm::DeselectAllItemsActionExecute() {
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row) FCleanupActionsListBox.SetChecked(row, false);
    TicksChanged();
}

void TVantrelForm::DefaultSelectionActionExecute() {
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row)
        FCleanupActionsListBox.SetChecked(row, FActionList->Items(row).DefaultChecked);
    TicksChanged();
}

void TVantrelForm::SetupActionExecute() {
    if (!FSettings || !FCommandsEnabled) return;
    RunSetupCommand(
        Handle(), *FSettings, [this](const std::wstring& text, TStatusSnapshot& snapshot) { BeginModalStatus(text, snapshot); },
        [this](const TStatusSnapshot& snapshot) { EndModalStatus(snapshot); }, [this] { LoadExcludedDirectories(); },
        [this] {
            StopReadingActionExecute();
            StartReadingActionExecute();
        },
        SyncedFolderTexts(FSyncedFolders));
}

void TVantrelForm::RefreshList() { ::InvalidateRect(FCleanupActionsListBox.Handle(), nullptr, FALSE); }

// --- Status area ---

std::vector<std::wstring> TVantrelForm::FileMenuTexts() const {
    std::vector<std::wstring> texts;
    for (int i = 0; i < ::GetMenuItemCount(FFileMenu); ++i) {
        wchar_t text[64] = {};
        ::GetMenuStringW(FFileMenu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        const UINT state = ::GetMenuState(FFileMenu, static_cast<UINT>(i), MF_BYPOSITION);
        texts.push_back(std::wstring(text) + ((state & MF_GRAYED) != 0 ? L" (disabled)" : L""));
    }
    return texts;
}

bool TVantrelForm::SetupEnabled() const {
    return (::GetMenuState(FMainMenu, 1, MF_BYPOSITION) & MF_GRAYED) == 0;
}

bool TVantrelForm::GaugeVisible() const { return ::IsWindowVisible(FGauge) != FALSE; }
bool TVantrelForm::CleanButtonVisible() const { return ::IsWindowVisible(FSpeedButton1) != FALSE; }

std::wstring TVantrelForm::Status1Text() const { return WindowText(FStatus1Label); }
std::wstring TVantrelForm::Status2Text() const { return WindowText(FStatus2Label); }

void TVantrelForm::SetStatus1(const std::wstring& text) {
    if (WindowText(FStatus1Label) != text) ::SetWindowTextW(FStatus1Label, text.c_str());
}

void TVantrelForm::SetStatus2(const std::wstring& text) {
    if (WindowText(FStatus2Label) != text) ::SetWindowTextW(FStatus2Label, text.c_str());
}

void TVantrelForm::BeginModalStatus(const std::wstring& Text, TStatusSnapshot& Snapshot) {
    Snapshot.Status1 = Status1Text();
    Snapshot.Status2 = Status2Text();
    Snapshot.GaugeVisible = ::IsWindowVisible(FGauge) != FALSE;
    SetStatus1(L"");
    SetStatus2(Text);
    ::ShowWindow(FGauge, SW_HIDE);
}

void TVantrelForm::EndModalStatus(const TStatusSnapshot& Snapshot) {
    SetStatus1(Snapshot.Status1);
    SetStatus2(Snapshot.Status2);
    ::ShowWindow(FGauge, Snapshot.GaugeVisible ? SW_SHOW : SW_HIDE);
}
