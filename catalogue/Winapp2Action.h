// The main list's row for the winapp2.ini entries: one file-mask action that
// carries every detected entry. The reading pass offers it each file under an
// entry's folders; the ticked entries' files are its found files, deleted like
// any action's; their REMOVESELF folders and RegKeys go after them.
//
// Free until used: the rules are read and detected on a worker thread started
// with the row, so the main window paints without waiting for them, and a
// reading pass that starts with the row unticked gives it no masks at all.
#pragma once

#include "catalogue/Winapp2Rules.h"
#include "engine/VantrelClasses.h"
#include "texts/Texts.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class TCleanupWinapp2Item : public TCleanupFileMaskItem {
public:
    // The key its tick is stored by (its Chinese name, in either language).
    static inline const std::wstring ActionName = LoadTextIn(TLanguage::Chinese, TTextId::ActionWinapp2);

    ~TCleanupWinapp2Item() override;

    // Empty until WaitForRules has taken them from the worker.
    TWinapp2RuleSet Rules;
    // The folders reading passes never enter: nothing in them, or holding one, is removed.
    std::vector<std::wstring> ExcludedDirectories;
    // How long reading, detecting and compiling took on the worker, in milliseconds.
    double LoadMilliseconds = 0;

    // Where the rules come from; tests replace it and are then served at once
    // on the calling thread. By default: winapp2.ini in Winapp2Folders(),
    // detected against this computer, on a worker thread.
    static std::function<void(TWinapp2RuleSet&)>& RuleSource();

    // Waits for the worker (if it still runs), puts its rules in Rules and
    // calls OnRulesReady once. Everything that reads Rules calls it first.
    void WaitForRules();
    bool RulesReady() const { return FRulesReady; }
    // Called on the thread of WaitForRules when the rules have come (the
    // window puts the settings' ticks on them).
    std::function<void(TCleanupWinapp2Item&)> OnRulesReady;
    // True when the last reading pass read for the entries (the row was
    // ticked as it started); false: their found files are not counted.
    bool ReadInLastPass() const { return FReadThisPass; }

    // Ticks or unticks an entry (the window and the settings); an entry that
    // is not offered or refused never runs, whatever its tick.
    void SetRuleChecked(size_t Index, bool Checked);
    // The found files again from the entries after their ticks changed.
    void RebuildFoundFiles();
    // The row's text in the main list: the name, with the number of ticked entries.
    std::wstring RowText() const;
    // After a cleanup: one log line per entry that ran.
    std::vector<std::wstring> OutcomeLogLines() const;
    // What was read: a line with the files and counts, one line per offered
    // entry that is refused, and one for unreadable lines.
    std::vector<std::wstring> LoadLogLines() const;

    // The entries' lists too.
    void ClearFoundFiles() override;
    void GetFirstInfoLine(std::wstring& Text) override;
    void GetSecondInfoLine(std::wstring& Text) override;
    TCleanupItemState GetState() override;
    void Execute() override;

protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override;
    bool MatchesFile(std::wstring_view UpperFileName) override;
    bool TakeFoundFile(const std::wstring& FileName, uint64_t Size) override;

private:
    void RemoveEmptiedTree(const std::wstring& Folder, TWinapp2Outcome& Outcome);
    // Folder is excluded or lies in an excluded folder, or (OrHoldsOne) holds one.
    bool FolderIsExcluded(const std::wstring& Folder, bool OrHoldsOne) const;
    std::vector<uint32_t> FMatched;  // the entries that took the file in hand
    struct TLoad;
    std::shared_ptr<TLoad> FLoad;  // the worker's result, while it is not taken
    std::thread FLoader;
    bool FRulesReady = false;
    bool FReadThisPass = false;
};

// The entry's hint: its group, its source and, when refused, why.
std::wstring Winapp2EntryHint(const TWinapp2Rule& Rule);
