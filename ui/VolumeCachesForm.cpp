#include "ui/VolumeCachesForm.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"
#include "platform/Gdi.h"
#include "ui/FlatButton.h"

#include <commctrl.h>

#include <algorithm>

namespace {

enum TControlId : int { idList = 500, idProperties, idOk, idCancel };

constexpr int Bevel = 2;
constexpr int Inner = TVolumeCachesForm::Border + Bevel;
constexpr int ListHeight = 236;
constexpr int HintHeight = 72;
constexpr int BarHeight = 35;
constexpr int ButtonWidth = 79, ButtonHeight = 22, ButtonGap = 4;
constexpr int NameColumn = 300, DrivesColumn = 150, SizeColumn = 80;

std::wstring ListItemText(HWND list, int row, int column) {
    wchar_t buffer[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 1024;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

int StateImage(HWND list, int row) {
    return static_cast<int>(
        (::SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >>
        12);
}

std::wstring SizeColumnText(const TVolumeCacheHandler& handler) {
    if (handler.NeedsAdministrator) return LoadText(TTextId::VolumeCacheNeedsAdministrator);
    if (!handler.Failure.empty()) return LoadText(TTextId::VolumeCacheFailed);
    if (!handler.Scanned()) return L"";
    if (handler.AnyNotCounted() && handler.TotalSize() == 0) return LoadText(TTextId::VolumeCacheNotCounted);
    return FormatSizeText(static_cast<double>(handler.TotalSize()));
}

}  // namespace

std::wstring VolumeCacheHandlerHint(const TVolumeCacheHandler& handler) {
    std::wstring hint;
    if (handler.NeedsAdministrator) hint = LoadText(TTextId::VolumeCacheNeedsAdministrator) + L"\r";
    else if (!handler.Failure.empty()) hint = FormatText(TTextId::VolumeCacheHintUnusable, handler.Failure) + L"\r";
    else if (handler.HoldsUserFiles()) hint = LoadText(TTextId::VolumeCacheHintUserFiles) + L"\r";
    hint += handler.DescriptionText();
    const std::wstring sizes = VolumeCacheSizesText(handler);
    if (!sizes.empty()) hint += L"\r" + sizes;
    // What the last cleanup did with it, as the log says it.
    for (const TVolumeCacheOutcome& outcome : handler.Outcomes) {
        if (outcome.Ran) hint += L"\r" + VolumeCacheOutcomeLogText(handler.DisplayName(), outcome);
        else if (!outcome.Failure.empty())
            hint += L"\r" + FormatText(TTextId::VolumeCacheHintDriveFailure, VolumeCacheDriveName(outcome.Drive), outcome.Failure);
    }
    return hint;
}

TVolumeCachesForm::~TVolumeCachesForm() { DestroyHandle(); }

void TVolumeCachesForm::CreateControls() {
    const int width = ClientWidth - 2 * Bevel;
    FList = AddControl(WC_LISTVIEWW, L"",
                       WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_NOSORTHEADER, S(Inner),
                       S(Inner), S(Inner + width) - S(Inner), S(Inner + ListHeight) - S(Inner), idList);
    ::SendMessageW(FList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER);
    const struct {
        const wchar_t* Text;
        int Width;
        int Format;
    } columns[] = {{LoadText(TTextId::VolumeCachesColumnItem).c_str(), NameColumn, LVCFMT_LEFT},
                   {LoadText(TTextId::VolumeCachesColumnDrives).c_str(), DrivesColumn, LVCFMT_LEFT},
                   {LoadText(TTextId::Winapp2ColumnSize).c_str(), SizeColumn, LVCFMT_RIGHT}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = const_cast<wchar_t*>(columns[i].Text);
        column.cx = S(columns[i].Width);
        column.fmt = columns[i].Format;
        ::SendMessageW(FList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    const int y = Inner + ListHeight + 4;
    FHint = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, S(Inner + 4), S(y), S(Inner + width - 4) - S(Inner + 4),
                       S(y + HintHeight) - S(y));
    const int barTop = Border + ClientHeight - Bevel - BarHeight;
    const int right = Border + ClientWidth - Bevel;
    const int buttonTop = barTop + (BarHeight - ButtonHeight) / 2;
    const int cancelLeft = right - 6 - ButtonWidth, okLeft = cancelLeft - ButtonGap - ButtonWidth;
    const int propertiesLeft = okLeft - 3 * ButtonGap - ButtonWidth;
    FPropertiesButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonProperties), BS_OWNERDRAW | WS_DISABLED, S(propertiesLeft), S(buttonTop),
                                   S(ButtonWidth), S(ButtonHeight), idProperties, BoldFont());
    FOkButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonOK), BS_OWNERDRAW, S(okLeft), S(buttonTop), S(ButtonWidth),
                           S(ButtonHeight), idOk, BoldFont());
    FCancelButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonCancelA), BS_OWNERDRAW, S(cancelLeft), S(buttonTop), S(ButtonWidth),
                               S(ButtonHeight), idCancel, BoldFont());
    FSummary = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, S(Inner + 4),
                          S(barTop + (BarHeight - 13) / 2), S(propertiesLeft - 6) - S(Inner + 4), S(13));
}

int TVolumeCachesForm::ShowHandlers(HWND owner) {
    TFormArgs args;
    args.ClassName = L"TVolumeCachesForm";
    args.Caption = LoadText(TTextId::VolumeCachesCaption);
    args.ClientWidth = ClientWidth + 2 * Border;
    args.ClientHeight = ClientHeight + 2 * Border;
    args.CloseBox = true;
    CreateForm(args, owner);
    FHandlers = FItem.Handlers();
    FTicks.clear();
    for (const TVolumeCacheHandler& handler : FHandlers) FTicks.push_back(handler.Checked);
    Fill();
    return ShowModal(owner);
}

void TVolumeCachesForm::Fill() {
    FFilling = true;
    ::SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(FList, LVM_DELETEALLITEMS, 0, 0);
    int row = 0;
    for (size_t i = 0; i < FHandlers.size(); ++i) {
        const TVolumeCacheHandler& handler = FHandlers[i];
        if (!handler.Listed()) continue;
        const int image = handler.Greyed() ? 0 : (FTicks[i] ? 2 : 1);
        const std::wstring name = handler.DisplayName();
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        item.iItem = row++;
        item.pszText = const_cast<wchar_t*>(name.c_str());
        item.lParam = static_cast<LPARAM>(i);
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(image);
        const int at = static_cast<int>(::SendMessageW(FList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(image);
        ::SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&state));
        const std::wstring texts[] = {VolumeCacheSizesText(handler), SizeColumnText(handler)};
        for (int column = 1; column <= 2; ++column) {
            LVITEMW sub{};
            sub.iSubItem = column;
            sub.pszText = const_cast<wchar_t*>(texts[column - 1].c_str());
            ::SendMessageW(FList, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
        }
    }
    ::SendMessageW(FList, WM_SETREDRAW, TRUE, 0);
    FFilling = false;
    UpdateSummary();
    if (row == 0) ::SetWindowTextW(FHint, LoadText(TTextId::VolumeCachesNothingFound).c_str());
}

int TVolumeCachesForm::HandlerAt(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!::SendMessageW(FList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return static_cast<int>(item.lParam);
}

int TVolumeCachesForm::RowOf(const std::wstring& name) const {
    const int count = static_cast<int>(::SendMessageW(FList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        const int index = HandlerAt(row);
        if (index >= 0 && (FHandlers[static_cast<size_t>(index)].KeyName == name ||
                           FHandlers[static_cast<size_t>(index)].DisplayName() == name))
            return row;
    }
    return -1;
}

bool TVolumeCachesForm::AllowTick(int row, bool checked) {
    const int index = HandlerAt(row);
    if (index < 0) return false;
    const TVolumeCacheHandler& handler = FHandlers[static_cast<size_t>(index)];
    if (handler.Greyed()) return false;
    if (!checked || !handler.HoldsUserFiles()) return true;
    if (ConfirmUserFiles) return ConfirmUserFiles(handler.DisplayName(), handler.DescriptionText());
    const std::wstring text =
        FormatText(TTextId::VolumeCacheConfirmUserFiles, handler.DisplayName(), handler.DescriptionText());
    return ::MessageBoxW(Handle(), text.c_str(), L"Vantrel", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

LRESULT TVolumeCachesForm::HandleNotify(const NMHDR& header) {
    if (header.hwndFrom != FList) return 0;
    switch (header.code) {
        case LVN_ITEMCHANGING: {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            if (FFilling || (change.uChanged & LVIF_STATE) == 0) return FALSE;
            const UINT oldImage = (change.uOldState & LVIS_STATEIMAGEMASK) >> 12;
            const UINT newImage = (change.uNewState & LVIS_STATEIMAGEMASK) >> 12;
            if ((change.uNewState & LVIS_STATEIMAGEMASK) == 0 || oldImage == newImage) return FALSE;
            return AllowTick(change.iItem, newImage == 2) ? FALSE : TRUE;
        }
        case LVN_ITEMCHANGED: {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            if (FFilling) return 0;
            const int index = HandlerAt(change.iItem);
            if (index >= 0 && (change.uNewState & LVIS_STATEIMAGEMASK) != 0) {
                FTicks[static_cast<size_t>(index)] = StateImage(FList, change.iItem) == 2;
                UpdateSummary();
            }
            if ((change.uNewState & LVIS_SELECTED) != 0) ShowSelected();
            return 0;
        }
        case LVN_GETINFOTIPW: {
            auto& tip = const_cast<NMLVGETINFOTIPW&>(reinterpret_cast<const NMLVGETINFOTIPW&>(header));
            const int index = HandlerAt(tip.iItem);
            if (index < 0 || tip.pszText == nullptr || tip.cchTextMax <= 0) return 0;
            std::wstring hint = VolumeCacheHandlerHint(FHandlers[static_cast<size_t>(index)]);
            for (auto& c : hint)
                if (c == L'\r') c = L'\n';
            hint.resize(std::min<size_t>(hint.size(), static_cast<size_t>(tip.cchTextMax - 1)));
            std::copy(hint.begin(), hint.end(), tip.pszText);
            tip.pszText[hint.size()] = 0;
            return 0;
        }
        case NM_CUSTOMDRAW: {
            auto& draw = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
            if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
            if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
            const int index = static_cast<int>(draw.nmcd.lItemlParam);
            if (index >= 0 && static_cast<size_t>(index) < FHandlers.size() &&
                FHandlers[static_cast<size_t>(index)].Greyed()) {
                draw.clrText = ::GetSysColor(COLOR_GRAYTEXT);
                return CDRF_NEWFONT;
            }
            return CDRF_DODEFAULT;
        }
    }
    return 0;
}

void TVolumeCachesForm::ShowSelected() {
    const int row = static_cast<int>(::SendMessageW(FList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const int index = row >= 0 ? HandlerAt(row) : -1;
    if (index < 0) {
        ::SetWindowTextW(FHint, L"");
        ::EnableWindow(FPropertiesButton, FALSE);
        return;
    }
    const TVolumeCacheHandler& handler = FHandlers[static_cast<size_t>(index)];
    ::SetWindowTextW(FHint, VolumeCacheHandlerHint(handler).c_str());
    ::EnableWindow(FPropertiesButton, (handler.Flags & 0x0001 /*EVCF_HASSETTINGS*/) != 0 && !handler.Greyed());
}

void TVolumeCachesForm::UpdateSummary() {
    int listed = 0, checked = 0;
    uint64_t bytes = 0;
    for (size_t i = 0; i < FHandlers.size(); ++i) {
        if (!FHandlers[i].Listed()) continue;
        ++listed;
        if (FTicks[i] && !FHandlers[i].Greyed()) {
            ++checked;
            bytes += FHandlers[i].TotalSize();
        }
    }
    const std::wstring text =
        FormatText(TTextId::VolumeCachesSummary, listed, checked, FormatSizeText(static_cast<double>(bytes)));
    ::SetWindowTextW(FSummary, text.c_str());
}

void TVolumeCachesForm::Accept() {
    for (size_t i = 0; i < FHandlers.size(); ++i)
        if (FHandlers[i].Listed() && FTicks[i] != FHandlers[i].Checked)
            FItem.SetHandlerChecked(FHandlers[i].KeyName, FTicks[i]);
        else if (FHandlers[i].Listed() && !FHandlers[i].TickKnown)
            FItem.SetHandlerChecked(FHandlers[i].KeyName, FTicks[i]);
    SetModalResult(mrOk);
}

bool TVolumeCachesForm::HandleEscape() {
    SetModalResult(mrCancel);
    return true;
}

bool TVolumeCachesForm::HandleEnter() {
    Accept();
    return true;
}

LRESULT TVolumeCachesForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NOTIFY:
            return HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return 0;
            if (LOWORD(wParam) == idOk) Accept();
            if (LOWORD(wParam) == idCancel) SetModalResult(mrCancel);
            if (LOWORD(wParam) == idProperties) {
                const int row =
                    static_cast<int>(::SendMessageW(FList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
                const int index = row >= 0 ? HandlerAt(row) : -1;
                if (index >= 0) {
                    ::EnableWindow(Handle(), FALSE);
                    FItem.ShowHandlerProperties(FHandlers[static_cast<size_t>(index)].KeyName, Handle());
                    ::EnableWindow(Handle(), TRUE);
                    ::SetForegroundWindow(Handle());
                }
            }
            return 0;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            const std::wstring& text = LoadText(item.hwndItem == FOkButton       ? TTextId::ButtonOK
                                                : item.hwndItem == FCancelButton ? TTextId::ButtonCancelA
                                                                                 : TTextId::ButtonProperties);
            DrawFlatButton(item, text, NoButtonImage, BoldFont(), clWhite, Dpi());
            return TRUE;
        }
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) {
                ::SetFocus(FList);
                return 0;
            }
            break;
    }
    return TModalForm::HandleMessage(message, wParam, lParam);
}

void TVolumeCachesForm::Paint() {
    TPaintDC paint(Handle());
    RECT client;
    ::GetClientRect(Handle(), &client);
    RECT panel{S(Border), S(Border), client.right - S(Border), client.bottom - S(Border)};
    ::FillRect(paint.Get(), &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(paint.Get(), &panel, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
}

// --- For tests ---

std::vector<TVolumeCachesForm::TRow> TVolumeCachesForm::Rows() const {
    std::vector<TRow> rows;
    const int count = static_cast<int>(::SendMessageW(FList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        TRow r;
        r.Text = ListItemText(FList, row, 0);
        const int image = StateImage(FList, row);
        r.HasTick = image != 0;
        r.Checked = image == 2;
        r.Drives = ListItemText(FList, row, 1);
        r.Size = ListItemText(FList, row, 2);
        rows.push_back(r);
    }
    return rows;
}

void TVolumeCachesForm::ClickHandlerTick(const std::wstring& name) {
    const int row = RowOf(name);
    if (row < 0) return;
    const int image = StateImage(FList, row);
    LVITEMW state{};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(image == 2 ? 1 : 2);
    ::SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

void TVolumeCachesForm::SelectHandler(const std::wstring& name) {
    const int row = RowOf(name);
    if (row < 0) return;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    ShowSelected();
}

std::wstring TVolumeCachesForm::HintText() const { return WindowText(FHint); }
std::wstring TVolumeCachesForm::SummaryText() const { return WindowText(FSummary); }
bool TVolumeCachesForm::PropertiesEnabled() const { return ::IsWindowEnabled(FPropertiesButton) != FALSE; }
