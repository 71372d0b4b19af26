#include "ui/SetupVantrelUnit.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
#include "ui/FlatButton.h"

#include <commctrl.h>
#include <shlobj.h>
#include <uxtheme.h>

#include <algorithm>
#include <memory>

namespace {

// --- The folder browser ---

struct TCoTaskMemDeleter {
    void operator()(void* memory) const { ::CoTaskMemFree(memory); }
};
using TIdListPtr = std::unique_ptr<ITEMIDLIST, TCoTaskMemDeleter>;

std::wstring BrowseForExcludeDirectory(HWND owner) {
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;  // the whole shell namespace
    info.lpszTitle = LoadText(TTextId::SetupBrowseExclude).c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
    TIdListPtr idList(::SHBrowseForFolderW(&info));
    if (!idList) return L"";
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(idList.get(), path)) return L"";
    return path;
}

TFolderBrowser GFolderBrowser;

// --- The choices and their words ---

constexpr int ProtectionIds[] = {TSetupVantrelForm::idFileAgeNoneRadioButton,
                                 TSetupVantrelForm::idFileAgeUptimeRadioButton,
                                 TSetupVantrelForm::idFileAgeWeekRadioButton,
                                 TSetupVantrelForm::idFileAgeSmartRadioButton};
constexpr const wchar_t* ProtectionWords[] = {L"None", L"Uptime", L"Week", L"Smart"};
constexpr int ScanModeIds[] = {TSetupVantrelForm::idScanModeQuickRadioButton,
                               TSetupVantrelForm::idScanModeCompleteRadioButton};
constexpr const wchar_t* ScanModeWords[] = {L"Quick", L"Complete"};
// The language list's rows and the words the settings file stores for them.
constexpr TTextId LanguageChoiceTexts[] = {TTextId::SetupLanguageAuto, TTextId::SetupLanguageChinese,
                                           TTextId::SetupLanguageEnglish};
constexpr const wchar_t* LanguageWords[] = {L"", L"zh", L"en"};

// --- Layout, in client pixels ---

constexpr int Border = TSetupVantrelForm::BorderWidth;
constexpr int ButtonBarHeight = 30;
constexpr int BevelWidth = 2;
constexpr RECT PanelBounds{Border, Border, Border + TSetupVantrelForm::ClientWidth,
                           Border + TSetupVantrelForm::ClientHeight - ButtonBarHeight};
constexpr int ColumnTop = PanelBounds.top + BevelWidth;
constexpr int ColumnBottom = PanelBounds.bottom - BevelWidth;
constexpr int LeftColumn = PanelBounds.left + BevelWidth;
constexpr int RightColumn = LeftColumn + TSetupVantrelForm::ColumnWidth;
// Groups stand a little inside their column, so the frames of neighbours do not touch.
constexpr int GroupInset = 4;
constexpr int GroupWidth = TSetupVantrelForm::ColumnWidth - 2 * GroupInset;
constexpr int TopGroupHeight = 220;
constexpr int BottomGroupHeight = 100;
constexpr int TopGroupY = ColumnTop + GroupInset;
constexpr int BottomGroupY = ColumnBottom - GroupInset - BottomGroupHeight;
// Inside a group: the first line below the caption, the margins, the indent of a radio button's text.
constexpr int GroupContentTop = 20;
constexpr int GroupMargin = 10;
constexpr int RadioHeight = 16;
constexpr int TextIndent = 18;
constexpr int SpeedButtonSize = 22;
constexpr int PushButtonWidth = 75;
constexpr int PushButtonHeight = 25;

// The synced folders' share of the excluded group's list room, in per cent.
constexpr int SyncedListShare = 40;

constexpr DWORD LabelStyle = SS_LEFT | SS_NOPREFIX;
constexpr DWORD GroupBoxStyle = BS_GROUPBOX | WS_GROUP;
// Flat buttons are tab stops like any button: the keyboard reaches them too.
constexpr DWORD FlatButtonStyle = BS_OWNERDRAW | WS_TABSTOP;

bool IsOneOf(int id, const int* ids, int count) { return std::find(ids, ids + count, id) != ids + count; }

// Classic drawing, so the colours that WM_CTLCOLORSTATIC chooses are used: the
// visual styles draw radio texts in the theme's colour.
void UseClassicLook(HWND control) { ::SetWindowTheme(control, L"", L""); }

// Group boxes paint their own frame and caption: bold maroon on the white panel.
// Wine's group box takes neither the theme's absence nor WM_CTLCOLORSTATIC's
// colour for its caption, and draws it on a grey band at higher scales.
void PaintGroupBox(HWND wnd, HDC dc, const RECT& client) {
    TSelectObject font(dc, reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0)));
    const std::wstring caption = WindowText(wnd);
    RECT text{0, 0, 0, 0};
    ::DrawTextW(dc, caption.c_str(), -1, &text, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    RECT frame{0, text.bottom / 2, client.right, client.bottom};
    ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    const int indent = ::MulDiv(text.bottom, 8, 13);
    ::OffsetRect(&text, indent, 0);
    ::FillRect(dc, &text, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::IsWindowEnabled(wnd) ? clMaroon : ::GetSysColor(COLOR_GRAYTEXT));
    ::DrawTextW(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace

void SetFolderBrowserForTesting(TFolderBrowser Browser) { GFolderBrowser = std::move(Browser); }

// --- Creation ---

TSetupVantrelForm::TSetupVantrelForm(HWND Owner) {
    // The window takes its owner's scale (TModalForm::CreateForm); the controls need their font before.
    FRadioFont.Reset(CreateProgramFontForDpi(Owner != nullptr ? DpiOfWindow(Owner) : SystemDpi(), false, true));
    TFormArgs args;
    args.ClassName = L"TSetupVantrelForm";
    args.Caption = LoadText(TTextId::SetupCaption);
    args.ClientWidth = ClientWidth + 2 * BorderWidth;
    args.ClientHeight = ClientHeight + 2 * BorderWidth;
    args.ToolWindow = true;
    args.CloseBox = false;
    CreateForm(args, Owner);
    // Group boxes paint only their frame and caption, so the white panel must show
    // through them: the form paints under its controls, as a dialog does.
    ::SetWindowLongPtrW(Handle(), GWL_STYLE, ::GetWindowLongPtrW(Handle(), GWL_STYLE) & ~WS_CLIPCHILDREN);
    FormCreate();
}

TSetupVantrelForm::~TSetupVantrelForm() { DestroyHandle(); }

HFONT TSetupVantrelForm::FontForNewDpi(HFONT old) {
    if (old != FRadioFont.Get()) return nullptr;
    FOldRadioFont = std::move(FRadioFont);  // still selected by the controls not yet told
    FRadioFont.Reset(CreateProgramFontForDpi(Dpi(), false, true));
    return FRadioFont.Get();
}

// Creation order is tab order: the protection choices, the scan choices, the
// list, then OK and Cancel. The group boxes come last, behind everything else.
void TSetupVantrelForm::CreateControls() {
    CreateProtectionGroup(S(LeftColumn + GroupInset), S(TopGroupY));
    CreateScanModeGroup(S(LeftColumn + GroupInset), S(BottomGroupY));
    CreateExcludeDirectoriesGroup(S(RightColumn + GroupInset), S(TopGroupY));
    CreateDiskCleanupGroup(S(RightColumn + GroupInset), S(BottomGroupY));
    CreateButtonBar();
    const struct {
        int Id;
        const std::wstring& Caption;
        int X, Y, Height;
    } groups[] = {
        {idGroupBox3, LoadText(TTextId::SetupProtectionGroup), LeftColumn, TopGroupY, TopGroupHeight},
        {idGroupBox4, LoadText(TTextId::SetupScanModeGroup), LeftColumn, BottomGroupY, BottomGroupHeight},
        {idGroupBox1, LoadText(TTextId::SetupExcludeGroup), RightColumn, TopGroupY, TopGroupHeight},
        {idWindowsDiskCleanupGroupBox, LoadText(TTextId::SetupDiskCleanupGroup), RightColumn, BottomGroupY,
         BottomGroupHeight},
    };
    for (const auto& group : groups) {
        HWND box = AddControl(L"BUTTON", group.Caption, GroupBoxStyle, S(group.X + GroupInset), S(group.Y),
                              S(GroupWidth), S(group.Height), group.Id, BoldFont());
        PaintControlWith(box, PaintGroupBox);
    }
    FFocusedControl = Control(idOkButton);
    SetSyncedFolders({});
}

void TSetupVantrelForm::FormCreate() {
    if (DiskCleanupExists()) return;
    for (int id : {static_cast<int>(idWindowsDiskCleanupGroupBox), static_cast<int>(idLabel16),
                   static_cast<int>(idSetupWindowsDiskCleanupButton)})
        ::ShowWindow(Control(id), SW_HIDE);
}

// The height that Text takes in the window's font, broken into lines of Width.
int TSetupVantrelForm::TextHeight(const std::wstring& text, int width) const {
    TWindowDC dc(Handle());
    TSelectObject font(dc.Get(), Font());
    RECT bounds{0, 0, width, 0};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &bounds,
                DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    return bounds.bottom;
}

// Radio buttons, each with its explanation under it, indented, stacked from Y
// down and spread over the group's height. X and Y are pixels, GroupHeight and
// Width 96-DPI sizes. Returns the bottom of the last text.
int TSetupVantrelForm::AddRadioChoices(int groupHeight, int x, int y, int width, const int* radioIds,
                                       const std::wstring* captions, const std::wstring* texts, int count) {
    const int textWidth = S(width - 2 * GroupMargin - TextIndent);
    std::vector<int> heights;
    int used = 0;
    for (int i = 0; i < count; ++i) {
        heights.push_back(TextHeight(texts[i], textWidth));
        used += S(RadioHeight) + heights.back();
    }
    const int room = S(groupHeight - GroupContentTop - GroupMargin) - used;
    const int gap = count > 1 ? std::clamp(room / (count - 1), S(2), S(12)) : 0;
    int top = y + S(GroupContentTop);
    for (int i = 0; i < count; ++i) {
        const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
        UseClassicLook(AddControl(L"BUTTON", captions[i], style, x + S(GroupMargin), top,
                                  S(width - 2 * GroupMargin), S(RadioHeight), radioIds[i], FRadioFont.Get()));
        top += S(RadioHeight);
        AddControl(L"STATIC", texts[i], LabelStyle, x + S(GroupMargin + TextIndent), top, textWidth, heights[i]);
        top += heights[i] + gap;
    }
    return top - gap;
}

void TSetupVantrelForm::CreateProtectionGroup(int x, int y) {
    const std::wstring captions[] = {LoadText(TTextId::SetupProtectionNone), LoadText(TTextId::SetupProtectionSession),
                                     LoadText(TTextId::SetupProtectionWeek), LoadText(TTextId::SetupProtectionSmart)};
    const std::wstring texts[] = {LoadText(TTextId::SetupProtectionNoneText),
                                  LoadText(TTextId::SetupProtectionSessionText),
                                  LoadText(TTextId::SetupProtectionWeekText),
                                  LoadText(TTextId::SetupProtectionSmartText)};
    AddRadioChoices(TopGroupHeight, x, y, GroupWidth, ProtectionIds, captions, texts, 4);
    SetFileProtection(L"Smart");
}

void TSetupVantrelForm::CreateScanModeGroup(int x, int y) {
    const std::wstring captions[] = {LoadText(TTextId::SetupScanQuick), LoadText(TTextId::SetupScanComplete)};
    const std::wstring texts[] = {LoadText(TTextId::SetupScanQuickText), LoadText(TTextId::SetupScanCompleteText)};
    AddRadioChoices(BottomGroupHeight, x, y, GroupWidth, ScanModeIds, captions, texts, 2);
}

void TSetupVantrelForm::CreateExcludeDirectoriesGroup(int x, int y) {
    const int left = x + S(GroupMargin), width = S(GroupWidth - 2 * GroupMargin);
    const std::wstring& text = LoadText(TTextId::SetupExcludeText);
    const int textHeight = TextHeight(text, width);
    AddControl(L"STATIC", text, LabelStyle | WS_GROUP, left, y + S(GroupContentTop), width, textHeight);
    const int listTop = y + S(GroupContentTop) + textHeight + S(6);
    const int button = S(SpeedButtonSize);
    const int listWidth = width - button - S(4);
    AddControl(L"LISTBOX", L"",
               LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_GROUP, left, listTop,
               listWidth, y + S(TopGroupHeight - GroupMargin) - listTop, idExcludeDirectoriesListBox, nullptr,
               WS_EX_CLIENTEDGE);
    // The synced folders below, read-only: no selection, no tab stop, but the list scrolls.
    const int listBottom = y + S(TopGroupHeight - GroupMargin);
    const std::wstring& heading = LoadText(TTextId::SetupSyncedFoldersHeading);
    const int headingHeight = TextHeight(heading, width);
    const int syncedTop = listBottom - (listBottom - listTop) * SyncedListShare / 100;
    ::MoveWindow(Control(idExcludeDirectoriesListBox), left, listTop, listWidth, syncedTop - S(4) - headingHeight - S(2) - listTop,
                 FALSE);
    AddControl(L"STATIC", heading, LabelStyle, left, syncedTop - headingHeight - S(2), width, headingHeight,
               idSyncedFoldersLabel);
    AddControl(L"LISTBOX", L"", LBS_NOSEL | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL, left, syncedTop, listWidth,
               listBottom - syncedTop, idSyncedFoldersListBox, nullptr, WS_EX_CLIENTEDGE);
    const int buttonLeft = left + listWidth + S(4);
    AddControl(L"BUTTON", L"", FlatButtonStyle, buttonLeft, listTop, button, button, idAddExcludeDirectorySpeedButton);
    AddControl(L"BUTTON", L"", FlatButtonStyle, buttonLeft, listTop + button + S(2), button, button,
               idRemoveExcludeDirectorySpeedButton);
}

void TSetupVantrelForm::CreateDiskCleanupGroup(int x, int y) {
    const int left = x + S(GroupMargin), width = S(GroupWidth - 2 * GroupMargin);
    const std::wstring& text = LoadText(TTextId::SetupDiskCleanupText);
    const int textHeight = TextHeight(text, width);
    AddControl(L"STATIC", text, LabelStyle | WS_GROUP, left, y + S(GroupContentTop), width, textHeight, idLabel16);
    TWindowDC dc(Handle());
    TSelectObject font(dc.Get(), Font());
    SIZE caption{};
    const std::wstring& button = LoadText(TTextId::SetupDiskCleanupButton);
    ::GetTextExtentPoint32W(dc.Get(), button.c_str(), static_cast<int>(button.size()), &caption);
    AddControl(L"BUTTON", button, FlatButtonStyle, left, y + S(GroupContentTop) + textHeight + S(4), caption.cx + S(12),
               S(SpeedButtonSize), idSetupWindowsDiskCleanupButton);
}

void TSetupVantrelForm::CreateButtonBar() {
    const int top = PanelBounds.bottom + (ButtonBarHeight - PushButtonHeight);
    CreateLanguageChoice(top);
    const int cancelLeft = PanelBounds.right - PushButtonWidth;
    const int okLeft = cancelLeft - 6 - PushButtonWidth;
    AddControl(L"BUTTON", LoadText(TTextId::ButtonOK), BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, S(okLeft), S(top),
               S(okLeft + PushButtonWidth) - S(okLeft), S(top + PushButtonHeight) - S(top), idOkButton);
    AddControl(L"BUTTON", LoadText(TTextId::ButtonCancel), BS_PUSHBUTTON | WS_TABSTOP, S(cancelLeft), S(top),
               S(cancelLeft + PushButtonWidth) - S(cancelLeft), S(top + PushButtonHeight) - S(top), idCancelButton);
}

// "语言 / Language:" and its list at the left of the button bar, in the order of LanguageWords.
void TSetupVantrelForm::CreateLanguageChoice(int top) {
    TWindowDC dc(Handle());
    TSelectObject font(dc.Get(), Font());
    const auto width = [&](const std::wstring& text) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    };
    const std::wstring& label = LoadText(TTextId::SetupLanguageLabel);
    const int labelWidth = width(label) + S(2);
    int listWidth = 0;
    for (TTextId id : LanguageChoiceTexts) listWidth = std::max<int>(listWidth, width(LoadText(id)));
    listWidth += ::GetSystemMetrics(SM_CXVSCROLL) + S(12);
    const int height = S(top + PushButtonHeight) - S(top);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.Get(), &metrics);
    const int left = S(PanelBounds.left);
    AddControl(L"STATIC", label, SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE, left, S(top), labelWidth, height,
               idLanguageLabel);
    HWND list = AddControl(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                           left + labelWidth + S(4), S(top) + (height - metrics.tmHeight - S(8)) / 2, listWidth,
                           S(100), idLanguageComboBox);
    for (TTextId id : LanguageChoiceTexts)
        ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadText(id).c_str()));
    ::SendMessageW(list, CB_SETCURSEL, 0, 0);
    // The windows are not rebuilt in another language while they are open.
    const std::wstring& note = LoadText(TTextId::SetupLanguageNextStart);
    AddControl(L"STATIC", note, SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE, left + labelWidth + S(4) + listWidth + S(6),
               S(top), width(note) + S(2), height, idLanguageNote);
}

// --- The values ---

std::wstring TSetupVantrelForm::Language() const {
    const LRESULT index = ::SendMessageW(Control(idLanguageComboBox), CB_GETCURSEL, 0, 0);
    return index >= 0 && index < static_cast<LRESULT>(std::size(LanguageWords)) ? LanguageWords[index] : L"";
}

void TSetupVantrelForm::SetLanguage(const std::wstring& Value) {
    TLanguage language;
    int index = 0;
    if (ParseLanguageName(Value, language)) index = language == TLanguage::Chinese ? 1 : 2;
    ::SendMessageW(Control(idLanguageComboBox), CB_SETCURSEL, index, 0);
}

std::wstring TSetupVantrelForm::CheckedWord(const int* ids, const wchar_t* const* words, int count) const {
    for (int i = 0; i < count; ++i)
        if (::SendMessageW(Control(ids[i]), BM_GETCHECK, 0, 0) == BST_CHECKED) return words[i];
    return L"";
}

void TSetupVantrelForm::CheckWord(const int* ids, const wchar_t* const* words, int count, const std::wstring& value) {
    for (int i = 0; i < count; ++i)
        ::SendMessageW(Control(ids[i]), BM_SETCHECK, value == words[i] ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::wstring TSetupVantrelForm::FileProtection() const { return CheckedWord(ProtectionIds, ProtectionWords, 4); }

void TSetupVantrelForm::SetFileProtection(const std::wstring& Value) {
    CheckWord(ProtectionIds, ProtectionWords, 4, Value);
}

std::wstring TSetupVantrelForm::ScanMode() const { return CheckedWord(ScanModeIds, ScanModeWords, 2); }

void TSetupVantrelForm::SetScanMode(const std::wstring& Value) { CheckWord(ScanModeIds, ScanModeWords, 2, Value); }

void TSetupVantrelForm::AddExcludeDirectory(const std::wstring& Directory) {
    const LRESULT index = ::SendMessageW(Control(idExcludeDirectoriesListBox), LB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(Directory.c_str()));
    if (index == LB_ERR || index == LB_ERRSPACE) RaiseOSError(ERROR_NOT_ENOUGH_MEMORY);
}

void TSetupVantrelForm::SetSyncedFolders(const std::vector<std::wstring>& Texts) {
    HWND list = Control(idSyncedFoldersListBox), heading = Control(idSyncedFoldersLabel);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    int widest = 0;
    {
        TWindowDC dc(list);
        TSelectObject font(dc.Get(), reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
        for (const auto& text : Texts) {
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
            SIZE size{};
            ::GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
            widest = std::max(widest, static_cast<int>(size.cx) + S(6));
        }
    }
    ::SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
    const bool shown = !Texts.empty();
    ::ShowWindow(list, shown ? SW_SHOWNA : SW_HIDE);
    ::ShowWindow(heading, shown ? SW_SHOWNA : SW_HIDE);
    // Without synced folders the excluded list reaches down to where theirs ends.
    RECT excluded{}, synced{};
    HWND excludedList = Control(idExcludeDirectoriesListBox);
    ::GetWindowRect(excludedList, &excluded);
    ::GetWindowRect(shown ? heading : list, &synced);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&excluded), 2);
    ::MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&synced), 2);
    const int bottom = shown ? synced.top - S(4) : synced.bottom;
    ::MoveWindow(excludedList, excluded.left, excluded.top, excluded.right - excluded.left, bottom - excluded.top, TRUE);
}

std::vector<std::wstring> TSetupVantrelForm::SyncedFolders() const {
    HWND list = Control(idSyncedFoldersListBox);
    std::vector<std::wstring> texts;
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
        text.resize(static_cast<size_t>(std::max<LRESULT>(::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data())), 0)));
        texts.push_back(text);
    }
    return texts;
}

std::vector<std::wstring> TSetupVantrelForm::ExcludeDirectories() const {
    HWND list = Control(idExcludeDirectoriesListBox);
    const int count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    std::vector<std::wstring> entries;
    for (int i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::wstring entry(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
        const LRESULT copied = ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::wstring TSetupVantrelForm::ExcludeDirectoriesText() const {
    std::wstring text;
    for (const auto& entry : ExcludeDirectories()) text += entry + L"\r\n";
    return text;
}

// --- Commands ---

void TSetupVantrelForm::AddExcludeDirectorySpeedButtonClick() {
    const std::wstring folder = GFolderBrowser ? GFolderBrowser(Handle()) : BrowseForExcludeDirectory(Handle());
    if (!folder.empty()) AddExcludeDirectory(folder);
}

void TSetupVantrelForm::RemoveExcludeDirectorySpeedButtonClick() {
    HWND list = Control(idExcludeDirectoriesListBox);
    const LRESULT selected = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (selected != LB_ERR) ::SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(selected), 0);
}

// The tool's set-up runs while this window keeps painting; it takes no input
// meanwhile, so neither a second start nor OK can slip in under the running tool.
void TSetupVantrelForm::SetupWindowsDiskCleanupButtonClick() {
    ::EnableWindow(Handle(), FALSE);
    struct TEnableAgain {
        HWND Form;
        HWND Focus;
        ~TEnableAgain() {
            ::EnableWindow(Form, TRUE);
            if (::GetActiveWindow() == Form) ::SetFocus(Focus);
        }
    } enableAgain{Handle(), Control(idSetupWindowsDiskCleanupButton)};
    SetupDiskCleanup();
}

bool TSetupVantrelForm::HandleEnter() {
    // Enter chooses OK; only a focused Cancel button takes Enter for itself.
    SetModalResult(::GetFocus() == Control(idCancelButton) ? mrCancel : mrOk);
    return true;
}

// Neither button is the window's cancel button: Escape does nothing.
bool TSetupVantrelForm::HandleEscape() { return true; }

void TSetupVantrelForm::HandleCommand(int id) {
    switch (id) {
        case idOkButton: SetModalResult(mrOk); break;
        case idCancelButton: SetModalResult(mrCancel); break;
        case idAddExcludeDirectorySpeedButton: AddExcludeDirectorySpeedButtonClick(); break;
        case idRemoveExcludeDirectorySpeedButton: RemoveExcludeDirectorySpeedButtonClick(); break;
        case idSetupWindowsDiskCleanupButton: SetupWindowsDiskCleanupButtonClick(); break;
        default: break;
    }
}

// --- Messages and drawing ---

LRESULT TSetupVantrelForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) HandleCommand(LOWORD(wParam));
            return 0;
        case WM_ACTIVATE:
            // Like a dialog: the focus leaves with the window and comes back with it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus != nullptr && ::IsChild(Handle(), focus)) FFocusedControl = focus;
            } else if (HIWORD(wParam) == 0 && FFocusedControl != nullptr) {
                ::SetFocus(FFocusedControl);
            }
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return HandleControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM:
            HandleDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_PAINT:
            PaintForm();
            return 0;
    }
    return TModalForm::HandleMessage(message, wParam, lParam);
}

LRESULT TSetupVantrelForm::HandleControlColour(HDC dc, HWND control) {
    const int id = ::GetDlgCtrlID(control);
    if (id == idOkButton || id == idCancelButton) return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    // The language row stands on the button bar, not on the white panel.
    if (id == idLanguageLabel || id == idLanguageNote) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    const int groupIds[] = {idGroupBox3, idGroupBox4, idGroupBox1, idWindowsDiskCleanupGroupBox};
    COLORREF colour = ::GetSysColor(COLOR_WINDOWTEXT);
    if (IsOneOf(id, groupIds, 4)) colour = clMaroon;
    else if (IsOneOf(id, ProtectionIds, 4) || IsOneOf(id, ScanModeIds, 2)) colour = clNavy;
    ::SetTextColor(dc, colour);
    ::SetBkColor(dc, clWhite);
    return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
}

void TSetupVantrelForm::HandleDrawItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON) return;
    if (item.CtlID == idSetupWindowsDiskCleanupButton) {
        DrawFlatButton(item, LoadText(TTextId::SetupDiskCleanupButton), NoButtonImage, Font(), clWhite, Dpi());
        return;
    }
    DrawFlatButton(item, L"", NoButtonImage, Font(), clWhite, Dpi());
    // A plus or minus sign in a 16 x 16 picture (at 96 DPI), centred; grey when disabled.
    const int shift = (item.itemState & ODS_SELECTED) != 0 ? 1 : 0;
    const int left = (item.rcItem.left + item.rcItem.right - S(16)) / 2 + shift;
    const int top = (item.rcItem.top + item.rcItem.bottom - S(16)) / 2 + shift;
    TBrush ink(::CreateSolidBrush((item.itemState & ODS_DISABLED) != 0 ? ::GetSysColor(COLOR_GRAYTEXT) : clNavy));
    const RECT across{left + S(3), top + S(7), left + S(13), top + S(9)};
    ::FillRect(item.hDC, &across, ink.Get());
    if (item.CtlID == idAddExcludeDirectorySpeedButton) {
        const RECT down{left + S(7), top + S(3), left + S(9), top + S(13)};
        ::FillRect(item.hDC, &down, ink.Get());
    }
}

// The white bevelled panel above the bar of buttons; the rest keeps the face colour.
void TSetupVantrelForm::PaintForm() {
    TPaintDC paint(Handle());
    RECT panel = S(PanelBounds);
    ::FillRect(paint.Get(), &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(paint.Get(), &panel, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
}

// --- The main window's set-up command ---

namespace {

// Shows the window filled from Settings and stores what changed. The window is
// released when this returns, also on an error. Returns whether anything changed.
bool EditSettingsInSetupWindow(HWND MainWindow, TXMLVantrelSettingsType& Settings,
                               const std::function<void()>& LoadExcludedDirectories,
                               const std::vector<std::wstring>& SyncedFolders) {
    TSetupVantrelForm form(MainWindow);
    for (const auto& directory : LoadExcludeDirectories(Settings)) form.AddExcludeDirectory(directory);
    form.SetSyncedFolders(SyncedFolders);
    const std::wstring listText = form.ExcludeDirectoriesText();
    const TXMLOptionsType options = Settings.Options();
    form.SetFileProtection(options.FileProtection());
    form.SetScanMode(options.ScanMode());
    form.SetLanguage(options.Language());
    if (form.ShowModal(MainWindow) != mrOk) return false;

    if (form.Language() != options.Language()) options.SetLanguage(form.Language());

    const bool changed = options.FileProtection() != form.FileProtection() || options.ScanMode() != form.ScanMode() ||
                         form.ExcludeDirectoriesText() != listText;
    if (!changed) return false;
    options.SetFileProtection(form.FileProtection());
    options.SetScanMode(form.ScanMode());
    StoreExcludeDirectories(Settings, form.ExcludeDirectories());
    if (LoadExcludedDirectories) LoadExcludedDirectories();
    return true;
}

}  // namespace

bool RunSetupCommand(HWND MainWindow, TXMLVantrelSettingsType& Settings,
                     const std::function<void(const std::wstring&, TStatusSnapshot&)>& BeginModalStatus,
                     const std::function<void(const TStatusSnapshot&)>& EndModalStatus,
                     const std::function<void()>& LoadExcludedDirectories,
                     const std::function<void()>& RestartReading, const std::vector<std::wstring>& SyncedFolders) {
    TStatusSnapshot snapshot;
    if (BeginModalStatus) BeginModalStatus(LoadText(TTextId::StatusModalSetup), snapshot);
    bool changed = false;
    try {
        changed = EditSettingsInSetupWindow(MainWindow, Settings, LoadExcludedDirectories, SyncedFolders);
    } catch (...) {
        if (EndModalStatus) EndModalStatus(snapshot);
        throw;
    }
    if (EndModalStatus) EndModalStatus(snapshot);
    // The new pass starts only once the window is gone.
    if (changed && RestartReading) RestartReading();
    return changed;
}

std::vector<std::wstring> SyncedFolderTexts(const std::vector<TSyncedFolder>& Folders) {
    std::vector<std::wstring> texts;
    for (const auto& folder : Folders) texts.push_back(folder.Path + L"  (" + folder.Client + L")");
    return texts;
}
