#include "catalogue/Winapp2Action.h"

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
    std::wstring text = std::to_wstring(bytes) + L" 字节";
    if (bytes >= 1024) text += L" (" + FormatSizeText(static_cast<double>(bytes)) + L")";
    return text;
}

}  // namespace

std::function<void(TWinapp2RuleSet&)>& TCleanupWinapp2Item::RuleSource() {
    static std::function<void(TWinapp2RuleSet&)> source;
    return source;
}

void TCleanupWinapp2Item::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = ActionName;
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
    return Name + L": 已选 " + std::to_wstring(checked) + L" 项";
}

void TCleanupWinapp2Item::GetFirstInfoLine(std::wstring& Text) {
    if (Rules.Files.empty()) {
        Text = L"没有找到 winapp2.ini。";
        return;
    }
    TCleanupFileMaskItem::GetFirstInfoLine(Text);
}

void TCleanupWinapp2Item::GetSecondInfoLine(std::wstring& Text) {
    if (Rules.Files.empty()) {
        Text = L"请把 winapp2.ini 放在 Vantrel.exe 所在的文件夹或 %APPDATA%\\Holvane\\Vantrel 中。";
        return;
    }
    Text = L"检测到 " + std::to_wstring(Rules.OfferedCount()) + L" 个应用程序, 已选 " +
           std::to_wstring(Rules.CheckedCount()) + L" 项。";
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
        lines.push_back(L"winapp2.ini \"" + Winapp2DisplayName(rule.Entry.Name) + L"\": 删除了 " +
                        std::to_wstring(o.Deleted) + L" 个文件, " + BytesText(o.Bytes) + L", " +
                        std::to_wstring(o.FoldersRemoved) + L" 个文件夹, " + std::to_wstring(o.RegistryDeleted) +
                        L" 个注册表项, " + std::to_wstring(o.NotDeleted) + L" 个文件无法删除。");
    }
    return lines;
}

std::vector<std::wstring> TCleanupWinapp2Item::LoadLogLines() const {
    std::vector<std::wstring> lines;
    for (const std::wstring& unread : Rules.UnreadFiles) lines.push_back(L"winapp2.ini 无法读取，已跳过: " + unread);
    if (Rules.Files.empty()) return lines;
    std::wstring files;
    for (const std::wstring& file : Rules.Files) files += (files.empty() ? L"" : L", ") + file;
    lines.push_back(L"winapp2.ini: 读取了 " + std::to_wstring(Rules.Rules.size()) + L" 个条目 (" + files +
                    L"), 检测到 " + std::to_wstring(Rules.OfferedCount()) + L" 个应用程序, 其中 " +
                    std::to_wstring(Rules.RefusedCount()) + L" 个已拒绝, 已选 " +
                    std::to_wstring(Rules.CheckedCount()) + L" 项。");
    for (const TWinapp2Rule& rule : Rules.Rules)
        if (rule.Offered() && rule.Refused())
            lines.push_back(L"winapp2.ini \"" + Winapp2DisplayName(rule.Entry.Name) + L"\" 已拒绝: " +
                            rule.Entry.Refusal);
    if (Rules.SkippedLines > 0)
        lines.push_back(L"winapp2.ini: 跳过了 " + std::to_wstring(Rules.SkippedLines) + L" 行无法读取的内容。");
    return lines;
}

std::wstring Winapp2EntryHint(const TWinapp2Rule& rule) {
    std::wstring hint = Winapp2GroupName(rule.Entry) + L" - " + rule.Source;
    if (rule.Refused()) hint = L"已拒绝: " + rule.Entry.Refusal + L"\r" + hint;
    else if (!rule.Entry.Warning.empty()) hint = L"警告: " + rule.Entry.Warning + L"\r" + hint;
    return hint;
}
