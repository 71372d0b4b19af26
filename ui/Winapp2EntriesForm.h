// The window of the winapp2.ini entries: the detected entries by group, each
// with its tick, its found files and their size; the files of the chosen
// entry below. Refused entries show without a tick, their reason as the hint.
#pragma once

#include "catalogue/Winapp2Action.h"
#include "ui/ModalForm.h"

#include <functional>
#include <string>
#include <vector>

class TWinapp2EntriesForm : public TModalForm {
public:
    static constexpr int ClientWidth = 560, ClientHeight = 400, Border = 5;

    explicit TWinapp2EntriesForm(TCleanupWinapp2Item& Item) : FItem(Item) {}
    ~TWinapp2EntriesForm() override;

    // Shows the entries modally; with OK the ticks go to the entries and the
    // action's found files follow them. Returns the modal result.
    int ShowEntries(HWND Owner);

    // Asked before an entry with a Warning is ticked; true ticks it. By
    // default a question box with the warning.
    std::function<bool(const std::wstring& Entry, const std::wstring& Warning)> ConfirmWarning;

    // --- What the window shows, for tests ---
    struct TRow {
        std::wstring Text;  // the entry's name, or the group's
        bool Group = false;
        bool HasTick = false;
        bool Checked = false;
        std::wstring Files, Size;
    };
    std::vector<TRow> Rows() const;
    // Ticks the row of the entry named Name as the mouse would (warnings asked).
    void ClickEntryTick(const std::wstring& Name);
    // Chooses the entry's row: its files and its hint show below.
    void SelectEntry(const std::wstring& Name);
    std::vector<std::wstring> FileListEntries() const;
    std::wstring HintText() const;
    std::wstring SummaryText() const;
    HWND OkButton() const { return FOkButton; }
    HWND CancelButton() const { return FCancelButton; }
    HWND EntryList() const { return FList; }

protected:
    void CreateControls() override;
    bool HandleEscape() override;
    bool HandleEnter() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Fill();
    int RowOf(const std::wstring& Name) const;
    // The rule shown in a row; -1 for a group's row.
    int RuleAt(int Row) const;
    bool AllowTick(int Row, bool Checked);
    void ShowSelected();
    void UpdateSummary();
    void Accept();
    LRESULT HandleNotify(const NMHDR& header);
    void Paint();

    TCleanupWinapp2Item& FItem;
    std::vector<bool> FTicks;  // by rule, as the window shows them
    HWND FList = nullptr, FFiles = nullptr, FHint = nullptr, FSummary = nullptr;
    HWND FOkButton = nullptr, FCancelButton = nullptr;
    bool FFilling = false;
};
