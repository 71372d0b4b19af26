#include "ui/Winapp2EntriesForm.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"
#include "platform/Gdi.h"
#include "ui/FlatButton.h"

#include <commctrl.h>

#include <algorithm>
#include <map>

namespace {

enum TControlId : int { idList = 400, idFiles, idOk, idCancel };

constexpr int Bevel = 2;
constexpr int Inner = TWinapp2EntriesForm::Border + Bevel;
constexpr int ListHeight = 236;
constexpr int HintHeight = 42;  // three lines: a warning, passed-over keys, the group and source
constexpr int FilesHeight = 72;
constexpr int BarHeight = 35;
constexpr int ButtonWidth = 79, ButtonHeight = 22, ButtonGap = 4;
constexpr int NameColumn = 330, FilesColumn = 70, SizeColumn = 100;

// Groups in the order the cleaners number them, then the named sections, then the rest.
int GroupRank(const TWinapp2Entry& entry) {
    if (!entry.Section.empty()) return 10000;
    if (entry.LangSecRef >= 3021 && entry.LangSecRef <= 3031) return entry.LangSecRef;
    return 20000;
}

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

}  // namespace

TWinapp2EntriesForm::~TWinapp2EntriesForm() { DestroyHandle(); }

void TWinapp2EntriesForm::CreateControls() {
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
    } columns[] = {{LoadText(TTextId::Winapp2ColumnApplication).c_str(), NameColumn, LVCFMT_LEFT},
                   {LoadText(TTextId::Winapp2ColumnFiles).c_str(), FilesColumn, LVCFMT_RIGHT},
                   {LoadText(TTextId::Winapp2ColumnSize).c_str(), SizeColumn, LVCFMT_RIGHT}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = const_cast<wchar_t*>(columns[i].Text);
        column.cx = S(columns[i].Width);
        column.fmt = columns[i].Format;
        ::SendMessageW(FList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    int y = Inner + ListHeight + 4;
    FHint = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, S(Inner + 4), S(y), S(Inner + width - 4) - S(Inner + 4),
                       S(y + HintHeight) - S(y));
    y += HintHeight;
    FFiles = AddControl(L"LISTBOX", L"", WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, S(Inner), S(y),
                        S(Inner + width) - S(Inner), S(y + FilesHeight) - S(y), idFiles, nullptr, WS_EX_CLIENTEDGE);
    const int barTop = Border + ClientHeight - Bevel - BarHeight;
    const int right = Border + ClientWidth - Bevel;
    const int buttonTop = barTop + (BarHeight - ButtonHeight) / 2;
    const int cancelLeft = right - 6 - ButtonWidth, okLeft = cancelLeft - ButtonGap - ButtonWidth;
    FOkButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonOK), BS_OWNERDRAW, S(okLeft), S(buttonTop),
                           S(ButtonWidth), S(ButtonHeight), idOk, BoldFont());
    FCancelButton = AddControl(L"BUTTON", LoadText(TTextId::ButtonCancelA), BS_OWNERDRAW, S(cancelLeft), S(buttonTop),
                               S(ButtonWidth), S(ButtonHeight), idCancel, BoldFont());
    FSummary = AddControl(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, S(Inner + 4),
                          S(barTop + (BarHeight - 13) / 2), S(okLeft - 6) - S(Inner + 4), S(13));
}

int TWinapp2EntriesForm::ShowEntries(HWND owner) {
    TFormArgs args;
    args.ClassName = L"TWinapp2EntriesForm";
    args.Caption = LoadText(TTextId::Winapp2Caption);
    args.ClientWidth = ClientWidth + 2 * Border;
    args.ClientHeight = ClientHeight + 2 * Border;
    args.CloseBox = true;
    CreateForm(args, owner);
    FTicks.clear();
    for (const TWinapp2Rule& rule : FItem.Rules.Rules) FTicks.push_back(rule.Checked);
    Fill();
    return ShowModal(owner);
}

void TWinapp2EntriesForm::Fill() {
    FFilling = true;
    ::SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(FList, LVM_DELETEALLITEMS, 0, 0);
    const auto& rules = FItem.Rules.Rules;
    // By group, then by name; lParam: the rule, or -1 for a group's row.
    std::map<std::pair<int, std::wstring>, std::vector<size_t>> groups;
    for (size_t i = 0; i < rules.size(); ++i)
        if (rules[i].Offered()) groups[{GroupRank(rules[i].Entry), Winapp2GroupName(rules[i].Entry)}].push_back(i);
    int row = 0;
    const auto add = [&](const std::wstring& text, LPARAM data, int stateImage) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        item.lParam = data;
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(stateImage);
        const int at = static_cast<int>(::SendMessageW(FList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        // Inserting may set the state image again: it is put once more as meant.
        LVITEMW state{};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(stateImage);
        ::SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&state));
        ++row;
        return at;
    };
    const auto setText = [&](int at, int column, const std::wstring& text) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        ::SendMessageW(FList, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&item));
    };
    for (auto& [key, members] : groups) {
        std::sort(members.begin(), members.end(), [&](size_t a, size_t b) {
            return Winapp2DisplayName(rules[a].Entry.Name) < Winapp2DisplayName(rules[b].Entry.Name);
        });
        add(key.second, -1, 0);
        for (size_t i : members) {
            const TWinapp2Rule& rule = rules[i];
            const int at = add(L"    " + Winapp2DisplayName(rule.Entry.Name), static_cast<LPARAM>(i),
                               rule.Refused() ? 0 : (FTicks[i] ? 2 : 1));
            if (rule.Refused()) {
                setText(at, 2, LoadText(TTextId::Winapp2Refused));
                continue;
            }
            // Nothing was read for an unticked row: no count rather than a wrong one.
            if (!FItem.ReadInLastPass()) continue;
            setText(at, 1, std::to_wstring(rule.FoundFiles.size()));
            setText(at, 2, FormatSizeText(static_cast<double>(rule.FoundFiles.TotalSize())));
        }
    }
    ::SendMessageW(FList, WM_SETREDRAW, TRUE, 0);
    FFilling = false;
    UpdateSummary();
    if (groups.empty())
        ::SetWindowTextW(FHint, FItem.Rules.Files.empty()
                                    ? LoadText(TTextId::Winapp2NotFoundHint).c_str()
                                    : LoadText(TTextId::Winapp2NothingDetected).c_str());
}

int TWinapp2EntriesForm::RuleAt(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!::SendMessageW(FList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return static_cast<int>(item.lParam);
}

int TWinapp2EntriesForm::RowOf(const std::wstring& name) const {
    const int count = static_cast<int>(::SendMessageW(FList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        const int rule = RuleAt(row);
        if (rule >= 0 && (FItem.Rules.Rules[static_cast<size_t>(rule)].Entry.Name == name ||
                          Winapp2DisplayName(FItem.Rules.Rules[static_cast<size_t>(rule)].Entry.Name) == name))
            return row;
    }
    return -1;
}

bool TWinapp2EntriesForm::AllowTick(int row, bool checked) {
    const int index = RuleAt(row);
    if (index < 0) return false;  // a group's row has no tick
    const TWinapp2Rule& rule = FItem.Rules.Rules[static_cast<size_t>(index)];
    if (rule.Refused()) return false;
    // The file's own warning, then Vantrel's about the user's own files.
    std::wstring warning = rule.Entry.Warning;
    if (!rule.Entry.UserFilesWarning.empty())
        warning += (warning.empty() ? L"" : L"\r\n") + rule.Entry.UserFilesWarning;
    if (!checked || warning.empty()) return true;
    const std::wstring name = Winapp2DisplayName(rule.Entry.Name);
    if (ConfirmWarning) return ConfirmWarning(name, warning);
    const std::wstring text = FormatText(TTextId::Winapp2ConfirmWarning, name, warning);
    return ::MessageBoxW(Handle(), text.c_str(), L"Vantrel", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

LRESULT TWinapp2EntriesForm::HandleNotify(const NMHDR& header) {
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
            const int index = RuleAt(change.iItem);
            if (index >= 0 && (change.uNewState & LVIS_STATEIMAGEMASK) != 0) {
                FTicks[static_cast<size_t>(index)] = StateImage(FList, change.iItem) == 2;
                UpdateSummary();
            }
            if ((change.uNewState & LVIS_SELECTED) != 0) ShowSelected();
            return 0;
        }
        case LVN_GETINFOTIPW: {
            auto& tip = const_cast<NMLVGETINFOTIPW&>(reinterpret_cast<const NMLVGETINFOTIPW&>(header));
            const int index = RuleAt(tip.iItem);
            if (index < 0 || tip.pszText == nullptr || tip.cchTextMax <= 0) return 0;
            std::wstring hint = Winapp2EntryHint(FItem.Rules.Rules[static_cast<size_t>(index)]);
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
            if (index < 0) {
                ::SelectObject(draw.nmcd.hdc, BoldFont());
                draw.clrText = clNavy;
                return CDRF_NEWFONT;
            }
            if (FItem.Rules.Rules[static_cast<size_t>(index)].Refused()) {
                draw.clrText = ::GetSysColor(COLOR_GRAYTEXT);
                return CDRF_NEWFONT;
            }
            return CDRF_DODEFAULT;
        }
    }
    return 0;
}

void TWinapp2EntriesForm::ShowSelected() {
    const int row = static_cast<int>(::SendMessageW(FList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const int index = row >= 0 ? RuleAt(row) : -1;
    ::SendMessageW(FFiles, LB_RESETCONTENT, 0, 0);
    if (index < 0) {
        ::SetWindowTextW(FHint, L"");
        return;
    }
    const TWinapp2Rule& rule = FItem.Rules.Rules[static_cast<size_t>(index)];
    ::SetWindowTextW(FHint, Winapp2EntryHint(rule).c_str());
    ::SendMessageW(FFiles, WM_SETREDRAW, FALSE, 0);
    std::wstring path;
    TWindowDC dc(FFiles);
    TSelectObject font(dc.Get(), Font());
    LONG widest = 0;
    for (size_t i = 0; i < rule.FoundFiles.size(); ++i) {
        rule.FoundFiles.PathInto(i, path);
        const std::wstring line = path + L"    " + FormatSizeText(static_cast<double>(rule.FoundFiles.Size(i)));
        ::SendMessageW(FFiles, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        SIZE extent{};
        ::GetTextExtentPoint32W(dc.Get(), line.c_str(), static_cast<int>(line.size()), &extent);
        widest = std::max(widest, extent.cx);
    }
    // Wide enough to scroll to the end of the longest path.
    ::SendMessageW(FFiles, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + S(8)), 0);
    ::SendMessageW(FFiles, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(FFiles, nullptr, TRUE);
}

void TWinapp2EntriesForm::UpdateSummary() {
    const auto& rules = FItem.Rules.Rules;
    int offered = 0, checked = 0;
    for (size_t i = 0; i < rules.size(); ++i) {
        if (!rules[i].Offered()) continue;
        ++offered;
        if (FTicks[i] && !rules[i].Refused()) ++checked;
    }
    const std::wstring text =
        FormatText(TTextId::Winapp2Summary, offered, checked);
    ::SetWindowTextW(FSummary, text.c_str());
}

void TWinapp2EntriesForm::Accept() {
    for (size_t i = 0; i < FTicks.size(); ++i) FItem.SetRuleChecked(i, FTicks[i]);
    FItem.RebuildFoundFiles();
    SetModalResult(mrOk);
}

bool TWinapp2EntriesForm::HandleEscape() {
    SetModalResult(mrCancel);
    return true;
}

bool TWinapp2EntriesForm::HandleEnter() {
    // Enter on the list ticks nothing; it means OK, as the default button would.
    Accept();
    return true;
}

LRESULT TWinapp2EntriesForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NOTIFY:
            return HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == idOk) Accept();
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == idCancel) SetModalResult(mrCancel);
            return 0;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            DrawFlatButton(item, LoadText(item.hwndItem == FOkButton ? TTextId::ButtonOK : TTextId::ButtonCancelA),
                           NoButtonImage, BoldFont(), clWhite, Dpi());
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

void TWinapp2EntriesForm::Paint() {
    TPaintDC paint(Handle());
    RECT client;
    ::GetClientRect(Handle(), &client);
    RECT panel{S(Border), S(Border), client.right - S(Border), client.bottom - S(Border)};
    ::FillRect(paint.Get(), &panel, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawEdge(paint.Get(), &panel, BDR_RAISEDINNER | BDR_SUNKENOUTER, BF_RECT);
}

// --- For tests ---

std::vector<TWinapp2EntriesForm::TRow> TWinapp2EntriesForm::Rows() const {
    std::vector<TRow> rows;
    const int count = static_cast<int>(::SendMessageW(FList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        TRow r;
        const std::wstring text = ListItemText(FList, row, 0);
        r.Group = RuleAt(row) < 0;
        r.Text = r.Group ? text : text.substr(text.find_first_not_of(L' '));
        const int image = StateImage(FList, row);
        r.HasTick = image != 0;
        r.Checked = image == 2;
        r.Files = ListItemText(FList, row, 1);
        r.Size = ListItemText(FList, row, 2);
        rows.push_back(r);
    }
    return rows;
}

void TWinapp2EntriesForm::ClickEntryTick(const std::wstring& name) {
    const int row = RowOf(name);
    if (row < 0) return;
    const int image = StateImage(FList, row);
    LVITEMW state{};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(image == 2 ? 1 : 2);
    ::SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

void TWinapp2EntriesForm::SelectEntry(const std::wstring& name) {
    const int row = RowOf(name);
    if (row < 0) return;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    ::SendMessageW(FList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    ShowSelected();
}

std::vector<std::wstring> TWinapp2EntriesForm::FileListEntries() const { return ListBoxEntries(FFiles); }

std::wstring TWinapp2EntriesForm::HintText() const { return WindowText(FHint); }
std::wstring TWinapp2EntriesForm::SummaryText() const { return WindowText(FSummary); }
