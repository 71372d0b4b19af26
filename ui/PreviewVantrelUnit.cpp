#include "ui/PreviewVantrelUnit.h"
#include "texts/Texts.h"

#include "platform/ErrorBox.h"
#include "platform/Gdi.h"
#include "ui/ActionImages.h"
#include "ui/Application.h"
#include "ui/FlatButton.h"

#include <algorithm>
#include <cwchar>

namespace {

enum TControlId : int { idListBox = 300, idCleanupSpeedButton, idCloseSpeedButton };

constexpr int Bevel = 2;
constexpr int ButtonWidth = 79, ButtonHeight = 22, ButtonGap = 4;
constexpr int LineHeight = 13;
constexpr int TextMargin = 2;      // a list box's own text starts two pixels in
constexpr int SizeColumnGap = 12;  // between a path and its size

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
    // Drawn by the window: each path with its size right-aligned beside it.
    FListBox = AddControl(L"LISTBOX", L"",
                          WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                              LBS_HASSTRINGS,
                          S(inner), S(inner), S(inner + ClientWidth - 2 * Bevel) - S(inner),
                          S(inner + ListHeight) - S(inner), idListBox);
    ::SendMessageW(FListBox, LB_SETITEMHEIGHT, 0, S(LineHeight));
    FText1Label = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0, 1, 1);
    FText2Label = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, 0, 1, 1);
    FCleanupSpeedButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonClean), BS_OWNERDRAW, 0, 0, S(ButtonWidth),
                                     S(ButtonHeight), idCleanupSpeedButton, BoldFont());
    FCloseSpeedButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonClose), BS_OWNERDRAW, 0, 0, S(ButtonWidth),
                                   S(ButtonHeight), idCloseSpeedButton, BoldFont());
    LayoutBar(inner + ListHeight);
}

// Places the bottom bar with its top at BarTop (at 96 DPI).
void TCleanupActionInfoForm::LayoutBar(int barTop) {
    const int left = Border + Bevel, right = Border + ClientWidth - Bevel;
    const int buttonTop = barTop + (BarHeight - ButtonHeight) / 2;
    const int closeLeft = right - 6 - ButtonWidth, cleanupLeft = closeLeft - ButtonGap - ButtonWidth;
    const auto place = [this](HWND control, int x, int y, int width, int height) {
        ::MoveWindow(control, S(x), S(y), S(x + width) - S(x), S(y + height) - S(y), FALSE);
    };
    place(FCloseSpeedButton, closeLeft, buttonTop, ButtonWidth, ButtonHeight);
    place(FCleanupSpeedButton, cleanupLeft, buttonTop, ButtonWidth, ButtonHeight);
    const int textLeft = left + 4, textWidth = cleanupLeft - 6 - textLeft;
    const int textTop = barTop + (BarHeight - 2 * LineHeight) / 2;
    place(FText1Label, textLeft, textTop, textWidth, LineHeight);
    place(FText2Label, textLeft, textTop + LineHeight, textWidth, LineHeight);
}

int TCleanupActionInfoForm::ShowActionInfo(TCleanupCustomItem& item, TXMLVantrelSettingsType& settings, HWND owner) {
    TFormArgs args;
    args.ClassName = L"TCleanupActionInfoForm";
    args.Caption = LoadText(TTextId::DetailCaption);
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
        item.GetFirstInfoLine(line);
        line = FormatText(TTextId::DetailTotalSize, line,
                          FormatSizeText(static_cast<double>(fileMaskItem->FoundFiles.TotalSize())));
        ::SetWindowTextW(FText1Label, line.c_str());
        FillFileList(fileMaskItem->FoundFiles);
    } else {
        HideFileList();
    }
    ::EnableWindow(FCleanupSpeedButton, state != TCleanupItemState::csNothingFound);
    return ShowModal(owner);
}

void TCleanupActionInfoForm::FillFileList(const TFoundFileList& files) {
    // Every path is shortened to the width it will have, then added once: the
    // list box is told the count first and drawn only when full. The width is
    // the one the list has once full, with its scroll bar when the paths need one.
    RECT client;
    ::GetClientRect(FListBox, &client);
    int width = client.right;
    if (static_cast<long long>(files.size()) * S(LineHeight) > client.bottom)
        width -= SystemMetricForDpi(SM_CXVSCROLL, Dpi());
    size_t units = 0;
    for (size_t i = 0; i < files.size(); ++i) units += files.Directory(i).size() + files.Name(i).size() + 1;
    FFiles = &files;
    FSizes.resize(files.size());
    for (size_t i = 0; i < files.size(); ++i) FSizes[i] = files.Size(i);
    ::SendMessageW(FListBox, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(FListBox, LB_INITSTORAGE, files.size(), units * sizeof(wchar_t));
    TWindowDC dc(FListBox);
    TSelectObject selected(dc.Get(), Font());
    MeasureSizeColumn(dc.Get());
    width -= FSizeColumnWidth + S(TextMargin);
    std::wstring file;
    for (size_t i = 0; i < files.size(); ++i) {
        files.PathInto(i, file);
        // Most paths fit: measuring is cheaper than shortening.
        SIZE extent{};
        const bool fits = ::GetTextExtentPoint32W(dc.Get(), file.c_str(), static_cast<int>(file.size()), &extent) &&
                          extent.cx <= width;
        const std::wstring shown = fits ? file : ShortenPath(dc.Get(), Font(), file, width);
        ::SendMessageW(FListBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    }
    ::SendMessageW(FListBox, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(FListBox, nullptr, TRUE);
}

// The size column is as wide as the widest size text can be, in the font selected into Dc.
void TCleanupActionInfoForm::MeasureSizeColumn(HDC dc) {
    FSizeColumnWidth = 0;
    for (const wchar_t* widest : {L"1023 bytes", L"1023.9 MB", L"1023.9 GB"}) {
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, widest, static_cast<int>(wcslen(widest)), &extent);
        FSizeColumnWidth = std::max(FSizeColumnWidth, static_cast<int>(extent.cx) + S(SizeColumnGap));
    }
}

void TCleanupActionInfoForm::DpiChanged(TDpi old) {
    (void)old;
    ::SendMessageW(FListBox, LB_SETITEMHEIGHT, 0, S(LineHeight));
    // The paths were shortened for the old width and font: they are listed again,
    // where the user was. While a cleanup runs the files are changing; only the
    // size column is measured again then, and the list is emptied when it ends.
    const auto count = ::SendMessageW(FListBox, LB_GETCOUNT, 0, 0);
    if (FFiles == nullptr || FCleaning || count <= 0 || static_cast<size_t>(count) != FFiles->size()) {
        TWindowDC dc(FListBox);
        TSelectObject selected(dc.Get(), Font());
        MeasureSizeColumn(dc.Get());
        return;
    }
    const auto current = ::SendMessageW(FListBox, LB_GETCURSEL, 0, 0);
    ::SendMessageW(FListBox, LB_RESETCONTENT, 0, 0);
    FillFileList(*FFiles);
    ::SendMessageW(FListBox, LB_SETCURSEL, static_cast<WPARAM>(current), 0);
    ::SendMessageW(FListBox, LB_SETTOPINDEX, static_cast<WPARAM>(FTopBeforeDpiChange), 0);
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

void TCleanupActionInfoForm::DrawFileRow(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) return;
    TSelectObject font(item.hDC, Font());
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    ::SetBkColor(item.hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ::SetTextColor(item.hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    ::ExtTextOutW(item.hDC, 0, 0, ETO_OPAQUE, &item.rcItem, nullptr, 0, nullptr);
    const auto length = ::SendMessageW(FListBox, LB_GETTEXTLEN, item.itemID, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const auto copied = ::SendMessageW(FListBox, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    RECT pathRect = item.rcItem;
    pathRect.left += S(TextMargin);
    pathRect.right -= FSizeColumnWidth;
    ::DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &pathRect,
                DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER | DT_END_ELLIPSIS);
    if (item.itemID < FSizes.size()) {
        const std::wstring size = FormatSizeText(static_cast<double>(FSizes[item.itemID]));
        RECT sizeRect = item.rcItem;
        sizeRect.right -= S(TextMargin);
        ::DrawTextW(item.hDC, size.c_str(), static_cast<int>(size.size()), &sizeRect,
                    DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER | DT_RIGHT);
    }
    if (item.itemState & ODS_FOCUS) ::DrawFocusRect(item.hDC, &item.rcItem);
}

void TCleanupActionInfoForm::HideFileList() {
    // Only the bottom bar shows: the window loses the list's height.
    FListShown = false;
    ::ShowWindow(FListBox, SW_HIDE);
    RECT window;
    ::GetWindowRect(Handle(), &window);
    const int listHeight = S(Border + Bevel + ListHeight) - S(Border + Bevel);
    ::SetWindowPos(Handle(), nullptr, 0, 0, window.right - window.left, window.bottom - window.top - listHeight,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutBar(Border + Bevel);
    CentreOn(::GetWindow(Handle(), GW_OWNER));
}

std::vector<std::wstring> TCleanupActionInfoForm::FileListEntries() const { return ListBoxEntries(FListBox); }

std::wstring TCleanupActionInfoForm::Text1() const { return WindowText(FText1Label); }
std::wstring TCleanupActionInfoForm::Text2() const { return WindowText(FText2Label); }
bool TCleanupActionInfoForm::CleanupEnabled() const { return ::IsWindowEnabled(FCleanupSpeedButton) != FALSE; }

void TCleanupActionInfoForm::CleanupSpeedButtonClick() {
    if (FCleaning) return;
    ::SetWindowTextW(FText1Label, LoadText(TTextId::DetailCleaning).c_str());
    ::UpdateWindow(FText1Label);
    // Runs whether or not the action is ticked in the main list. An error ends
    // the click here: the window stays as it is, with the words above. While
    // it runs, the second line shows the action's per-cent status and the
    // window keeps answering, as the main window does in its pass.
    if (Item != nullptr) {
        ::EnableWindow(FCleanupSpeedButton, FALSE);
        FCleaning = true;
        TStatusEvent kept = std::move(Item->OnStatus);
        // Whoever listened to the action before still hears it.
        Item->OnStatus = [this, &kept](TCleanupCustomItem* sender, const std::wstring& text) {
            if (kept) kept(sender, text);
            ShowCleanupStatus(text);
        };
        FLastPump = ::GetTickCount64();
        try {
            if (PerformItem)
                PerformItem(*Item);
            else
                Item->Perform();
        } catch (...) {
            Item->OnStatus = std::move(kept);
            FCleaning = false;
            ::EnableWindow(FCleanupSpeedButton, TRUE);
            throw;
        }
        Item->OnStatus = std::move(kept);
        FCleaning = false;
    }
    ::SendMessageW(FListBox, LB_RESETCONTENT, 0, 0);
    ::EnableWindow(FCleanupSpeedButton, FALSE);
    ::SetWindowTextW(FText1Label, LoadText(TTextId::DetailCleaned).c_str());
    ::SetWindowTextW(FText2Label, L"");
}

void TCleanupActionInfoForm::ShowCleanupStatus(const std::wstring& text) {
    // The text changes a hundred times at most, the files can be many: only a
    // new text is drawn, and the messages wait a few milliseconds at most.
    if (text != FShownStatus) {
        FShownStatus = text;
        ::SetWindowTextW(FText2Label, text.c_str());
        ::UpdateWindow(FText2Label);
    }
    const uint64_t now = ::GetTickCount64();
    if (now - FLastPump < PumpIntervalMs) return;
    FLastPump = now;
    Application().ProcessMessages();
}

// The window stays while its cleanup runs; it closes once that has ended.
void TCleanupActionInfoForm::CloseSpeedButtonClick() {
    if (!FCleaning) SetModalResult(mrCancel);
}

bool TCleanupActionInfoForm::FormKeyDown(WPARAM key) {
    if (key != VK_ESCAPE) return false;
    if (FCleaning) return true;
    SetModalResult(mrCancel);
    return true;
}

void TCleanupActionInfoForm::Paint() {
    TPaintDC paint(Handle());
    RECT client;
    ::GetClientRect(Handle(), &client);
    RECT panel{S(Border), S(Border), client.right - S(Border), client.bottom - S(Border)};
    ::FillRect(paint.Get(), &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(paint.Get(), &panel, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
}

void TCleanupActionInfoForm::DrawButton(const DRAWITEMSTRUCT& item) {
    const bool cleanup = item.hwndItem == FCleanupSpeedButton;
    DrawFlatButton(item, LoadText(cleanup ? TTextId::ButtonClean : TTextId::ButtonClose),
                   cleanup ? aiClean : NoButtonImage, BoldFont(), clWhite, Dpi());
}

LRESULT TCleanupActionInfoForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.hwndItem == FListBox)
                DrawFileRow(item);
            else
                DrawButton(item);
            return TRUE;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == idCleanupSpeedButton) CleanupSpeedButtonClick();
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == idCloseSpeedButton) CloseSpeedButtonClick();
            return 0;
        case WM_DPICHANGED:
            // Resizing the list before its rows grow scrolls it; where it stood is kept.
            FTopBeforeDpiChange = ::SendMessageW(FListBox, LB_GETTOPINDEX, 0, 0);
            break;
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
