#include "catalogue/Winapp2Action.h"
#include "texts/Texts.h"

#include "catalogue/FolderMasks.h"
#include "catalogue/Winapp2Registry.h"
#include "engine/FolderPaths.h"
#include "engine/Masks.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"

#include <windows.h>

#include <chrono>
#include <unordered_set>

namespace {

bool FileIsGone(const std::wstring& fileName) {
    if (::GetFileAttributesW(ExtendedLengthPath(fileName).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::wstring BytesText(uint64_t bytes) {
    if (bytes >= 1024) return FormatText(TTextId::ByteCountWithSize, bytes, FormatSizeText(static_cast<double>(bytes)));
    return FormatText(TTextId::ByteCount, bytes);
}

}  // namespace

std::function<void(TWinapp2RuleSet&)>& TCleanupWinapp2Item::RuleSource() {
    static std::function<void(TWinapp2RuleSet&)> source;
    return source;
}

void TCleanupWinapp2Item::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = LoadText(TTextId::ActionWinapp2);
    SmartProtection = TSmartProtection::spSession;
    const auto start = std::chrono::steady_clock::now();
    if (RuleSource())
        RuleSource()(Rules);
    else
        Rules.LoadFolders(Winapp2Folders(), Winapp2SystemOfThisComputer());
    LoadMilliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    Masks = MakeMaskList(Rules.FolderMasks());
}

bool TCleanupWinapp2Item::MatchesFile(std::wstring_view UpperFileName) {
    Rules.MatchFile(UpperFileName, FMatched);
    return !FMatched.empty();
}

bool TCleanupWinapp2Item::TakeFoundFile(const std::wstring& FileName, uint64_t Size) {
    bool ticked = false;
    for (uint32_t index : FMatched) {
        TWinapp2Rule& rule = Rules.Rules[index];
        rule.FoundFiles.Add(FileName, Size);
        ticked = ticked || rule.Runs();
    }
    return ticked;
}

void TCleanupWinapp2Item::ClearFoundFiles() {
    FoundFiles.clear();
    for (TWinapp2Rule& rule : Rules.Rules) rule.FoundFiles.clear();
}

void TCleanupWinapp2Item::SetRuleChecked(size_t index, bool checked) {
    if (index < Rules.Rules.size()) Rules.Rules[index].Checked = checked;
}

void TCleanupWinapp2Item::RebuildFoundFiles() {
    FoundFiles.clear();
    std::unordered_set<std::wstring> seen;
    std::wstring path;
    for (const TWinapp2Rule& rule : Rules.Rules) {
        if (!rule.Runs()) continue;
        for (size_t i = 0; i < rule.FoundFiles.size(); ++i) {
            rule.FoundFiles.PathInto(i, path);
            if (seen.insert(path).second) FoundFiles.Add(path, rule.FoundFiles.Size(i));
        }
    }
}

std::wstring TCleanupWinapp2Item::RowText() const {
    const int checked = Rules.CheckedCount();
    if (Rules.Files.empty() || checked == 0) return Name;
    return FormatText(TTextId::Winapp2RowChecked, Name, checked);
}

void TCleanupWinapp2Item::GetFirstInfoLine(std::wstring& Text) {
    if (Rules.Files.empty()) {
        Text = LoadText(TTextId::Winapp2NotFound);
        return;
    }
    TCleanupFileMaskItem::GetFirstInfoLine(Text);
}

void TCleanupWinapp2Item::GetSecondInfoLine(std::wstring& Text) {
    if (Rules.Files.empty()) {
        Text = LoadText(TTextId::Winapp2WhereToPut);
        return;
    }
    Text = FormatText(TTextId::Winapp2Summary, Rules.OfferedCount(), Rules.CheckedCount());
}

bool TCleanupWinapp2Item::FolderIsExcluded(const std::wstring& folder, bool orHoldsOne) const {
    for (const std::wstring& excluded : ExcludedDirectories) {
        const std::wstring walked = WalkFolderPath(excluded);
        if (walked.empty()) continue;
        if (FolderIsOrContains(walked, folder) || (orHoldsOne && FolderIsOrContains(folder, walked))) return true;
    }
    return false;
}

// The folders of the tree, deepest first, each removed when it is empty and
// itself. Links are never entered; an excluded folder, and any holding one, stays.
void TCleanupWinapp2Item::RemoveEmptiedTree(const std::wstring& folder, TWinapp2Outcome& outcome) {
    if (FolderIsExcluded(folder, false)) return;
    const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !EntryIsItself(folder))
        return;
    std::vector<std::wstring> children;
    {
        WIN32_FIND_DATAW data;
        TFindHandle find(::FindFirstFileW(ExtendedLengthPath(folder + L"\\*").c_str(), &data));
        if (find.Valid()) do {
                const std::wstring name = data.cFileName;
                if (name == L"." || name == L".." || IsForeignEntryName(name)) continue;
                if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                    (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                    children.push_back(folder + L"\\" + name);
            } while (::FindNextFileW(find.Get(), &data));
    }
    for (const std::wstring& child : children) RemoveEmptiedTree(child, outcome);
    // An excluded folder may be empty; the folders holding it stay with it.
    if (!FolderIsExcluded(folder, true) && RemoveEmptiedFolder(folder)) ++outcome.FoldersRemoved;
}

void TCleanupWinapp2Item::Execute() {
    Outcome = {};
    // What is still to delete: the list may have dropped files another action handled.
    std::unordered_set<std::wstring> pending(FoundFiles.begin(), FoundFiles.end());
    std::wstring path;
    for (TWinapp2Rule& rule : Rules.Rules) {
        rule.Outcome = {};
        if (!rule.Runs()) continue;
        DoStatus(Name + L"  " + Winapp2DisplayName(rule.Entry.Name));
        for (size_t i = 0; i < rule.FoundFiles.size(); ++i) {
            rule.FoundFiles.PathInto(i, path);
            if (pending.erase(path) == 0) continue;
            TDeletedFile deleted;
            if (DeleteFoundFile(path, &deleted)) {
                ++rule.Outcome.Deleted;
                if (deleted.Links <= 1) rule.Outcome.Bytes += deleted.Size;
            } else if (!FileIsGone(path)) {
                ++rule.Outcome.NotDeleted;
            }
        }
        for (const std::wstring& folder : rule.RemoveSelfFolders)
            for (const std::wstring& match : ExpandWinapp2Wildcards(folder)) RemoveEmptiedTree(match, rule.Outcome);
        for (const TWinapp2RegKey& regKey : rule.Entry.RegKeys)
            rule.Outcome.RegistryDeleted += DeleteWinapp2RegKey(regKey, rule.Entry.Excludes);
        Outcome.Deleted += rule.Outcome.Deleted;
        Outcome.Bytes += rule.Outcome.Bytes;
        Outcome.NotDeleted += rule.Outcome.NotDeleted;
    }
    FoundFiles.clear();
    for (TWinapp2Rule& rule : Rules.Rules) rule.FoundFiles.clear();
}

std::vector<std::wstring> TCleanupWinapp2Item::OutcomeLogLines() const {
    std::vector<std::wstring> lines;
    for (const TWinapp2Rule& rule : Rules.Rules) {
        if (!rule.Runs()) continue;
        const TWinapp2Outcome& o = rule.Outcome;
        lines.push_back(FormatText(TTextId::Winapp2LogOutcome, Winapp2DisplayName(rule.Entry.Name), o.Deleted,
                                   BytesText(o.Bytes), o.FoldersRemoved, o.RegistryDeleted, o.NotDeleted));
    }
    return lines;
}

std::vector<std::wstring> TCleanupWinapp2Item::LoadLogLines() const {
    std::vector<std::wstring> lines;
    if (Rules.Files.empty()) return lines;
    std::wstring files;
    for (const std::wstring& file : Rules.Files) files += (files.empty() ? L"" : L", ") + file;
    lines.push_back(FormatText(TTextId::Winapp2LogLoaded, Rules.Rules.size(), files, Rules.OfferedCount(),
                               Rules.RefusedCount(), Rules.CheckedCount()));
    for (const TWinapp2Rule& rule : Rules.Rules)
        if (rule.Offered() && rule.Refused())
            lines.push_back(
                FormatText(TTextId::Winapp2LogRefused, Winapp2DisplayName(rule.Entry.Name), rule.Entry.Refusal));
    if (Rules.SkippedLines > 0)
        lines.push_back(FormatText(TTextId::Winapp2LogSkippedLines, Rules.SkippedLines));
    return lines;
}

std::wstring Winapp2EntryHint(const TWinapp2Rule& rule) {
    std::wstring hint = Winapp2GroupName(rule.Entry) + L" - " + rule.Source;
    if (rule.Refused()) hint = FormatText(TTextId::Winapp2HintRefused, rule.Entry.Refusal) + L"\r" + hint;
    else if (!rule.Entry.Warning.empty())
        hint = FormatText(TTextId::Winapp2HintWarning, rule.Entry.Warning) + L"\r" + hint;
    return hint;
}
