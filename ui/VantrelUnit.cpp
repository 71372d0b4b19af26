#include "ui/VantrelUnit.h"

#include "app/AutoMode.h"
#include "catalogue/Catalogue.h"
#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
#include "ui/Application.h"
#include "ui/ErrorReport.h"
#include "ui/FlatButton.h"
#include "ui/LegendFormUnit.h"
#include "ui/OrvViewAbout.h"
#include "ui/PreviewVantrelUnit.h"
#include "ui/SetupVantrelUnit.h"

#include <commctrl.h>
#include <uxtheme.h>

namespace {

constexpr DWORD MainFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr UINT WM_FIRST_ACTIVATION = WM_APP + 1;

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
};
constexpr int idCleanupActionsList = 200;
constexpr int idSpeedButton1 = 201;

// Layout, in client pixels (the menu bar is outside the client area).
constexpr int Panel1Height = 7;
constexpr int BevelWidth = 2;
constexpr int Label1Height = 15;
constexpr int Panel5Height = 35;
constexpr int Panel4Border = 2;
constexpr int CleanupBtnPanelWidth = 91;
constexpr int StatusLineHeight = 13;
constexpr int GaugeHeight = 4;

int ClientHeightForRows(int rows) {
    return Panel1Height + 2 * BevelWidth + Label1Height + rows * TActionCheckList::RowHeight + Panel5Height;
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
    FFont.Reset(CreateProgramFont());
    FBoldFont.Reset(CreateProgramFont(true));
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
    ::SetMenu(Handle(), FMainMenu);
    Application().SetMainForm(Handle());
    CreateControls();

    try {
        FormCreate();
    } catch (...) {
        // The window still opens; the error is reported the usual way. An automatic
        // run cannot go on without its actions and settings, and nobody would close it.
        Application().HandleException(L"启动");
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
    if (FMainMenu != nullptr && !::IsMenu(FMainMenu)) FMainMenu = nullptr;
}

void TVantrelForm::CreateMenus() {
    FMainMenu = ::CreateMenu();
    FFileMenu = ::CreatePopupMenu();
    HMENU helpMenu = ::CreatePopupMenu();
    ::AppendMenuW(FMainMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(FFileMenu), L"文件(&F)");
    ::AppendMenuW(FMainMenu, MF_STRING, cmSetup, L"设置(&S)");
    ::AppendMenuW(FMainMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(helpMenu), L"帮助(&H)");
    ::AppendMenuW(helpMenu, MF_STRING, cmLegend, L"图例(&L)");
    ::AppendMenuW(helpMenu, MF_STRING, cmAbout, L"关于(&A)");
    RebuildFileMenu();
}

void TVantrelForm::RebuildFileMenu() {
    while (::GetMenuItemCount(FFileMenu) > 0) ::DeleteMenu(FFileMenu, 0, MF_BYPOSITION);
    if (FIdleCommands) ::AppendMenuW(FFileMenu, MF_STRING, cmStartReading, L"重新读取(&R)");
    if (!FIdleCommands)
        ::AppendMenuW(FFileMenu, MF_STRING | (FCommandsEnabled ? 0u : MF_GRAYED), cmStopReading, L"停止读取(&S)");
    if (FIdleCommands) ::AppendMenuW(FFileMenu, MF_STRING, cmStartCleanup, L"清理(&C)");
    ::AppendMenuW(FFileMenu, MF_STRING, cmExit, L"退出(&X)");
    ::EnableMenuItem(FMainMenu, cmSetup, MF_BYCOMMAND | (FCommandsEnabled ? MF_ENABLED : MF_GRAYED));
    if (Handle() != nullptr) ::DrawMenuBar(Handle());
}

void TVantrelForm::CreateControls() {
    FLabel1 = CreateChild(Handle(), L"STATIC", L"清理操作", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, FBoldFont.Get());
    FCleanupActionsListBox.Create(Handle(), idCleanupActionsList, FFont.Get());
    FCleanupActionsListBox.OnCheckClick = [this](int) { HandleCleanupActionsChangeSelection(); };
    FCleanupActionsListBox.OnRowClick = [this](int row) { HandleCleanupActionsClick(row); };
    FCleanupActionsListBox.OnMouseMove = [this](POINT p) { HandleCleanupActionsMouseMove(p); };
    FCleanupActionsListBox.OnContextMenu = [this](POINT p) { ShowCleanupActionsPopupMenu(p); };
    FStatus1Label = CreateChild(Handle(), L"STATIC", L"", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, FFont.Get());
    FStatus2Label = CreateChild(Handle(), L"STATIC", L"", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, FFont.Get());
    FGauge = CreateChild(Handle(), PROGRESS_CLASSW, L"", PBS_SMOOTH, 0, FFont.Get());
    // A plain bar in the window's navy: visual styles would ignore the colour.
    ::SetWindowTheme(FGauge, L"", L"");
    ::SendMessageW(FGauge, PBM_SETBARCOLOR, 0, clNavy);
    ::SendMessageW(FGauge, PBM_SETBKCOLOR, 0, clWhite);
    ::SetWindowLongPtrW(FGauge, GWL_EXSTYLE, ::GetWindowLongPtrW(FGauge, GWL_EXSTYLE) & ~WS_EX_STATICEDGE);
    FSpeedButton1 = CreateChild(Handle(), L"BUTTON", L"清理(&C)", WS_VISIBLE | BS_OWNERDRAW, idSpeedButton1,
                                FBoldFont.Get());
}

void TVantrelForm::LayoutControls() {
    const int rows = TActionCheckList::RowsFor(FCleanupActionsListBox.Count());
    RECT client{0, 0, ClientWidth, ClientHeightForRows(rows)};
    ::AdjustWindowRectEx(&client, MainFormStyle, TRUE, 0);
    ::SetWindowPos(Handle(), nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    FPanel3Bounds = RECT{0, Panel1Height, ClientWidth, ClientHeightForRows(rows)};
    const int left = BevelWidth, width = ClientWidth - 2 * BevelWidth;
    int y = Panel1Height + BevelWidth;
    ::MoveWindow(FLabel1, left, y, width, Label1Height, FALSE);
    y += Label1Height;
    const int listHeight = rows * TActionCheckList::RowHeight;
    FCleanupActionsListBox.SetBounds(left, y, width, listHeight);
    y += listHeight;
    // Panel5: status lines and gauge (Panel4) on the left, the clean button on the right.
    const int panel4Width = width - CleanupBtnPanelWidth;
    const int inner = left + Panel4Border;
    ::MoveWindow(FStatus1Label, inner, y + Panel4Border, panel4Width - 2 * Panel4Border, StatusLineHeight, FALSE);
    ::MoveWindow(FStatus2Label, inner, y + Panel4Border + StatusLineHeight, panel4Width - 2 * Panel4Border,
                 StatusLineHeight, FALSE);
    ::MoveWindow(FGauge, inner, y + Panel5Height - Panel4Border - GaugeHeight, panel4Width - 2 * Panel4Border,
                 GaugeHeight, FALSE);
    ::MoveWindow(FSpeedButton1, left + panel4Width + 6, y + 6, 79, 22, FALSE);
    ::InvalidateRect(Handle(), nullptr, TRUE);
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

    std::wstring settingsError;
    FSettings.emplace(OpenVantrelSettings(GetSettingsFileName(), settingsError));
    if (!settingsError.empty()) ReportError(Handle(), settingsError, L"读取设置");
    std::vector<bool> ticks;
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row) ticks.push_back(FCleanupActionsListBox.Checked(row));
    LoadActionTicks(*FSettings, *FActionList, ticks);
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row) FCleanupActionsListBox.SetChecked(row, ticks[row]);
    LoadExcludedDirectories();
    ValidateVantrelSettings(*FSettings);

    if (FAutoMode) {
        ::EnableWindow(Handle(), FALSE);
        ::SetWindowTextW(Handle(), (Application().Title() + L" (自动模式)").c_str());
    }
    FFirstActivation = true;
}

void TVantrelForm::BuildCleanupActions() {
    for (const auto& row : CleanupCatalogue()) AddCleanupAction(row.ItemClass, row.DefaultChecked);
}

void TVantrelForm::AddCleanupAction(const TCleanupItemClass& ItemClass, bool DefaultChecked) {
    if (!ItemClass.IsAvailable()) return;
    TCleanupCustomItem& action = FActionList->AddAction(ItemClass, DefaultChecked);
    FCleanupActionsListBox.AddRow(action.Name, DefaultChecked);
}

void TVantrelForm::FormActivate() {
    if (!FFirstActivation) return;
    FFirstActivation = false;
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (!FAutoMode) {
        StartReadingActionExecute();
        return;
    }
    // Nobody closes an automatic run's window: whatever fails, the run ends.
    try {
        StartReadingActionExecute();
    } catch (...) {
        Application().HandleException(L"自动清理");
        RequestClose();
    }
}

void TVantrelForm::FormCloseQuery() { StopReadingActionExecute(); }

void TVantrelForm::FormDestroy() {
    if (!FSettings || !FActionList) return;
    std::vector<bool> ticks;
    for (int row = 0; row < FCleanupActionsListBox.Count(); ++row) ticks.push_back(FCleanupActionsListBox.Checked(row));
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
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlID == idCleanupActionsList) HandleCleanupActionsDrawItem(item);
            else if (item.CtlID == idSpeedButton1) DrawCleanButton(item);
            return TRUE;
        }
        case WM_MEASUREITEM:
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = TActionCheckList::RowHeight;
            return TRUE;
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
                Application().HandleException(L"保存设置");
            }
            break;
    }
    return DefaultHandler(message, wParam, lParam);
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
    RECT strip{0, 0, client.right, Panel1Height};
    ::FillRect(paint.Get(), &strip, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT panel = FPanel3Bounds;
    ::FillRect(paint.Get(), &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(paint.Get(), &panel, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
}

void TVantrelForm::DrawCleanButton(const DRAWITEMSTRUCT& item) {
    DrawFlatButton(item, L"清理(&C)", CleanButtonIcon(), FBoldFont.Get(), clWhite);
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
        hint += L"\r" + std::to_wstring(fileMaskItem->FoundFiles.size()) + L" 个文件, 共 " +
                FormatSizeText(static_cast<double>(fileMaskItem->FoundFiles.TotalSize()));
    FCleanupActionsListBox.SetHint(hint);
}

void TVantrelForm::HandleCleanupActionsChangeSelection() {
    FCheckClicked = true;
    TicksChanged();
}

void TVantrelForm::TicksChanged() {
    if (FActionList == nullptr) return;
    for (int row = 0; row < FCleanupActionsListBox.Count() && row < FActionList->Count(); ++row)
        FActionList->SetChecked(row, FCleanupActionsListBox.Checked(row));
    if (FShowsFreeSpace) SetStatus1(FreeSpaceStatusText());
}

std::wstring TVantrelForm::FreeSpaceStatusText() {
    std::wstring text = L"当前可用空间 " + FormatSizeText(FFreeSpaceAfterReading) + L".";
    const uint64_t freeable = FActionList->CheckedFoundBytes();
    if (freeable > 0) text += L" 可释放 " + FormatSizeText(static_cast<double>(freeable)) + L".";
    return text;
}

void TVantrelForm::HandleCleanupActionsClick(int row) {
    // A tick comes first and sets FCheckClicked: it never opens the detail window,
    // and nothing opens while a reading pass runs.
    if (!FReading && !FCheckClicked && row >= 0 && FActionList && FSettings) ShowActionDetails(row);
    FCheckClicked = false;
}

void TVantrelForm::ShowActionDetails(int row) {
    ::EnableWindow(Handle(), FALSE);
    TCleanupCustomItem& action = FActionList->Items(row);
    // The detail window's cleanup must not write into this window's status lines.
    TStatusEvent keptOnStatus = std::move(action.OnStatus);
    action.OnStatus = nullptr;
    try {
        TCleanupActionInfoForm details;
        details.PerformItem = [this](TCleanupCustomItem& item) { FActionList->PerformAlone(item); };
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

void TVantrelForm::LegendActionExecute() {
    TStatusSnapshot snapshot;
    BeginModalStatus(L"图例...", snapshot);
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
    BeginModalStatus(L"关于...", snapshot);
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
    ::AppendMenuW(popup, MF_STRING, cmSelectAll, L"全部选择(&S)");
    ::AppendMenuW(popup, MF_STRING, cmDeselectAll, L"全部不选(&D)");
    ::AppendMenuW(popup, MF_STRING, cmDefaultSelection, L"选择默认(&E)");
    if (screenPoint.x == -1 && screenPoint.y == -1) ::GetCursorPos(&screenPoint);
    ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screenPoint.x, screenPoint.y, 0, Handle(), nullptr);
    ::DestroyMenu(popup);
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
        });
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
