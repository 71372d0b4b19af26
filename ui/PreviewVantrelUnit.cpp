#include "ui/PreviewVantrelUnit.h"

#include "platform/ErrorBox.h"
#include "platform/Gdi.h"
#include "ui/FlatButton.h"

namespace {

enum TControlId : int { idListBox = 300, idCleanupSpeedButton, idCloseSpeedButton };

constexpr int Bevel = 2;
constexpr int ButtonWidth = 79, ButtonHeight = 22, ButtonGap = 4;
constexpr int LineHeight = 13;

// Shows the hourglass until the guard ends, also when an error ends it.
class THourglass {
public:
    THourglass() : FOld(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~THourglass() { ::SetCursor(FOld); }
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;

private:
    HCURSOR FOld;
};

}  // namespace

TCleanupActionInfoForm::~TCleanupActionInfoForm() { DestroyHandle(); }

void TCleanupActionInfoForm::CreateControls() {
    const int inner = Border + Bevel;
    FListBox = AddControl(L"LISTBOX", L"", WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, inner, inner,
                          ClientWidth - 2 * Bevel, ListHeight, idListBox);
    ::SendMessageW(FListBox, LB_SETITEMHEIGHT, 0, LineHeight);
    FText1Label = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0, 1, 1);
    FText2Label = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0, 1, 1);
    FCleanupSpeedButton = AddControl(L"BUTTON", L"清理(&C)", BS_OWNERDRAW, 0, 0, ButtonWidth, ButtonHeight,
                                     idCleanupSpeedButton, BoldFont());
    FCloseSpeedButton = AddControl(L"BUTTON", L"关闭(&L)", BS_OWNERDRAW, 0, 0, ButtonWidth, ButtonHeight,
                                   idCloseSpeedButton, BoldFont());
    LayoutBar(inner + ListHeight);
}

void TCleanupActionInfoForm::LayoutBar(int barTop) {
    const int left = Border + Bevel, right = Border + ClientWidth - Bevel;
    const int buttonTop = barTop + (BarHeight - ButtonHeight) / 2;
    const int closeLeft = right - 6 - ButtonWidth, cleanupLeft = closeLeft - ButtonGap - ButtonWidth;
    ::MoveWindow(FCloseSpeedButton, closeLeft, buttonTop, ButtonWidth, ButtonHeight, FALSE);
    ::MoveWindow(FCleanupSpeedButton, cleanupLeft, buttonTop, ButtonWidth, ButtonHeight, FALSE);
    const int textLeft = left + 4, textWidth = cleanupLeft - 6 - textLeft;
    const int textTop = barTop + (BarHeight - 2 * LineHeight) / 2;
    ::MoveWindow(FText1Label, textLeft, textTop, textWidth, LineHeight, FALSE);
    ::MoveWindow(FText2Label, textLeft, textTop + LineHeight, textWidth, LineHeight, FALSE);
}

int TCleanupActionInfoForm::ShowActionInfo(TCleanupCustomItem& item, TXMLVantrelSettingsType& settings, HWND owner) {
    TFormArgs args;
    args.ClassName = L"TCleanupActionInfoForm";
    args.Caption = L"信息";
    args.ClientWidth = ClientWidth + 2 * Border;
    args.ClientHeight = ClientHeight + 2 * Border;
    args.CloseBox = false;
    CreateForm(args, owner);

    Item = &item;
    Settings = &settings;
    ::SetWindowTextW(Handle(), item.Name.c_str());
    // The second info line names the protection in force now.
    item.FileProtection = settings.Options().FileProtection();
    std::wstring line;
    item.GetFirstInfoLine(line);
    ::SetWindowTextW(FText1Label, line.c_str());
    item.GetSecondInfoLine(line);
    ::SetWindowTextW(FText2Label, line.c_str());

    const TCleanupItemState state = item.GetState();
    auto* fileMaskItem = dynamic_cast<TCleanupFileMaskItem*>(&item);
    if (fileMaskItem != nullptr && state == TCleanupItemState::csFilesFound) {
        THourglass hourglass;
        FillFileList(fileMaskItem->FoundFiles);
        ShortenFileListEntries();
    } else {
        HideFileList();
    }
    ::EnableWindow(FCleanupSpeedButton, state != TCleanupItemState::csNothingFound);
    return ShowModal(owner);
}

void TCleanupActionInfoForm::FillFileList(const std::vector<std::wstring>& files) {
    ::SendMessageW(FListBox, WM_SETREDRAW, FALSE, 0);
    for (const std::wstring& file : files)
        ::SendMessageW(FListBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(file.c_str()));
    ::SendMessageW(FListBox, WM_SETREDRAW, TRUE, 0);
}

std::wstring TCleanupActionInfoForm::ShortenPath(HDC dc, HFONT font, const std::wstring& path, int width) {
    // DT_MODIFYSTRING writes the shortened text back, up to four characters longer.
    std::vector<wchar_t> buffer(path.begin(), path.end());
    buffer.resize(path.size() + 5, L'\0');
    RECT bounds{0, 0, width, 255};
    TSelectObject selected(dc, font);
    ::DrawTextExW(dc, buffer.data(), static_cast<int>(path.size()), &bounds,
                  DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX, nullptr);
    return std::wstring(buffer.data());
}

void TCleanupActionInfoForm::ShortenFileListEntries() {
    // Measured once the list is full, when its scroll bar has taken its share of the width.
    RECT client;
    ::GetClientRect(FListBox, &client);
    TWindowDC dc(FListBox);
    const int count = static_cast<int>(::SendMessageW(FListBox, LB_GETCOUNT, 0, 0));
    const std::vector<std::wstring> entries = FileListEntries();
    ::SendMessageW(FListBox, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < count; ++i) {
        const std::wstring shortened = ShortenPath(dc.Get(), Font(), entries[static_cast<size_t>(i)], client.right);
        if (shortened == entries[static_cast<size_t>(i)]) continue;
        ::SendMessageW(FListBox, LB_DELETESTRING, static_cast<WPARAM>(i), 0);
        ::SendMessageW(FListBox, LB_INSERTSTRING, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(shortened.c_str()));
    }
    ::SendMessageW(FListBox, WM_SETREDRAW, TRUE, 0);
}

void TCleanupActionInfoForm::HideFileList() {
    // Only the bottom bar shows: the window loses the list's height.
    FListShown = false;
    ::ShowWindow(FListBox, SW_HIDE);
    RECT window;
    ::GetWindowRect(Handle(), &window);
    ::SetWindowPos(Handle(), nullptr, 0, 0, window.right - window.left, window.bottom - window.top - ListHeight,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutBar(Border + Bevel);
    CentreOn(::GetWindow(Handle(), GW_OWNER));
}

std::vector<std::wstring> TCleanupActionInfoForm::FileListEntries() const {
    std::vector<std::wstring> entries;
    const int count = static_cast<int>(::SendMessageW(FListBox, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(FListBox, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        const LRESULT copied =
            ::SendMessageW(FListBox, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
        entries.push_back(text);
    }
    return entries;
}

std::wstring TCleanupActionInfoForm::Text1() const { return WindowText(FText1Label); }
std::wstring TCleanupActionInfoForm::Text2() const { return WindowText(FText2Label); }
bool TCleanupActionInfoForm::CleanupEnabled() const { return ::IsWindowEnabled(FCleanupSpeedButton) != FALSE; }

void TCleanupActionInfoForm::CleanupSpeedButtonClick() {
    ::SetWindowTextW(FText1Label, L"正在进行清理...");
    ::UpdateWindow(FText1Label);
    // Runs whether or not the action is ticked in the main list. An error ends
    // the click here: the window stays as it is, with the words above.
    if (Item != nullptr) {
        if (PerformItem)
            PerformItem(*Item);
        else
            Item->Perform();
    }
    ::SendMessageW(FListBox, LB_RESETCONTENT, 0, 0);
    ::EnableWindow(FCleanupSpeedButton, FALSE);
    ::SetWindowTextW(FText1Label, L"清理完成。");
    ::SetWindowTextW(FText2Label, L"");
}

void TCleanupActionInfoForm::CloseSpeedButtonClick() { SetModalResult(mrCancel); }

bool TCleanupActionInfoForm::FormKeyDown(WPARAM key) {
    if (key != VK_ESCAPE) return false;
    SetModalResult(mrCancel);
    return true;
}

void TCleanupActionInfoForm::Paint() {
    TPaintDC paint(Handle());
    RECT client;
    ::GetClientRect(Handle(), &client);
    RECT panel{Border, Border, client.right - Border, client.bottom - Border};
    ::FillRect(paint.Get(), &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(paint.Get(), &panel, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
}

void TCleanupActionInfoForm::DrawButton(const DRAWITEMSTRUCT& item) {
    const bool cleanup = item.hwndItem == FCleanupSpeedButton;
    DrawFlatButton(item, cleanup ? L"清理(&C)" : L"关闭(&L)", cleanup ? CleanButtonIcon() : nullptr, BoldFont(),
                   clWhite);
}

LRESULT TCleanupActionInfoForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == idCleanupSpeedButton) CleanupSpeedButtonClick();
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == idCloseSpeedButton) CloseSpeedButtonClick();
            return 0;
        case WM_ACTIVATE:
            // The list takes the focus when it shows; the flat buttons are no tab stops.
            if (LOWORD(wParam) != WA_INACTIVE && FListShown) {
                ::SetFocus(FListBox);
                return 0;
            }
            break;
    }
    return TModalForm::HandleMessage(message, wParam, lParam);
}
