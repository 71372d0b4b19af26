#include "catalogue/Winapp2Action.h"

#include "catalogue/FolderMasks.h"
#include "catalogue/Winapp2Registry.h"
#include "engine/FolderPaths.h"
#include "engine/Masks.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"

#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cwchar>
#include <unordered_set>

namespace {

bool FileIsGone(const std::wstring& fileName) {
    // The literal form: "name." and "con.tmp" are files of their own, not "name" and the console.
    if (::GetFileAttributesW(LiteralPath(fileName).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
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

struct TCleanupWinapp2Item::TLoad {
    TWinapp2RuleSet Rules;
    double Milliseconds = 0;
};

TCleanupWinapp2Item::~TCleanupWinapp2Item() {
    if (FLoader.joinable()) FLoader.join();
}

void TCleanupWinapp2Item::Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) {
    Name = ActionName;
    SmartProtection = TSmartProtection::spSession;
    // No masks until a pass starts with the row ticked (ClearFoundFiles).
    Masks.clear();
    if (RuleSource()) {
        const auto start = std::chrono::steady_clock::now();
        RuleSource()(Rules);
        LoadMilliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return;
    }
    FLoad = std::make_shared<TLoad>();
    // The folders are worked out here: tests change them on this thread.
    FLoader = std::thread([load = FLoad, folders = Winapp2Folders()] {
        // The known folders come from the shell, which wants COM on the thread that asks.
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const auto start = std::chrono::steady_clock::now();
        load->Rules.LoadFolders(folders, std::function<TWinapp2System()>(Winapp2SystemOfThisComputer));
        load->Milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (SUCCEEDED(com)) ::CoUninitialize();
    });
}

void TCleanupWinapp2Item::WaitForRules() {
    if (FRulesReady) return;
    if (FLoader.joinable()) FLoader.join();
    FRulesReady = true;
    if (FLoad) {
        Rules = std::move(FLoad->Rules);
        LoadMilliseconds = FLoad->Milliseconds;
        FLoad.reset();
    }
    if (OnRulesReady) OnRulesReady(*this);
}

bool TCleanupWinapp2Item::MatchesFile(std::wstring_view UpperFileName) {
    if (!FReadThisPass) return false;
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
    // A pass starts: the rules cost it nothing while the row is unticked.
    FReadThisPass = Checked;
    if (FReadThisPass) WaitForRules();
    ReplaceMasks(FReadThisPass ? MakeMaskList(Rules.FolderMasks()) : std::wstring());
    FoundFiles.clear();
    for (TWinapp2Rule& rule : Rules.Rules) rule.FoundFiles.clear();
}

TCleanupItemState TCleanupWinapp2Item::GetState() {
    // Ticked after the pass started: what it would find is not known yet.
    if (Checked && !FReadThisPass) return TCleanupItemState::csNotCounted;
    return TCleanupFileMaskItem::GetState();
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
    WaitForRules();
    if (Rules.Files.empty()) {
        Text = L"没有找到 winapp2.ini。";
        return;
    }
    if (Checked && !FReadThisPass) {
        Text = L"读取磁盘时此项没有勾选, 它的文件还没有找到。";
        return;
    }
    TCleanupFileMaskItem::GetFirstInfoLine(Text);
}

void TCleanupWinapp2Item::GetSecondInfoLine(std::wstring& Text) {
    WaitForRules();
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
    const DWORD attributes = ::GetFileAttributesW(LiteralPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !EntryIsItself(folder))
        return;
    std::vector<std::wstring> children;
    {
        WIN32_FIND_DATAW data;
        TFindHandle find(::FindFirstFileW(LiteralPath(folder + L"\\*").c_str(), &data));
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
    WaitForRules();
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
    wchar_t took[32];
    std::swprintf(took, 32, L"%.0f", LoadMilliseconds);
    lines.push_back(L"winapp2.ini: 读取、检测和编译用时 " + std::wstring(took) + L" 毫秒。");
    for (const TWinapp2Rule& rule : Rules.Rules) {
        if (!rule.Offered()) continue;
        const std::wstring name = L"winapp2.ini \"" + Winapp2DisplayName(rule.Entry.Name) + L"\"";
        if (rule.Refused()) {
            lines.push_back(name + L" 已拒绝: " + rule.Entry.Refusal);
            continue;
        }
        for (const std::wstring& fault : rule.Entry.KeyFaults) lines.push_back(name + L" 跳过了一个键: " + fault);
        if (!rule.Entry.UserFilesWarning.empty()) lines.push_back(name + L" 警告: " + rule.Entry.UserFilesWarning);
    }
    if (const int faults = Rules.KeyFaultCount(); faults > 0)
        lines.push_back(L"winapp2.ini: 跳过了 " + std::to_wstring(faults) + L" 个无法使用的键, 条目的其余部分照常运行。");
    for (const std::wstring& value : Rules.UnknownSpecialDetects)
        lines.push_back(L"winapp2.ini: 未知的 SpecialDetect 值 " + value + L", 用它的条目只按其他检测键检测。");
    if (Rules.SkippedLines > 0)
        lines.push_back(L"winapp2.ini: 跳过了 " + std::to_wstring(Rules.SkippedLines) + L" 行无法读取的内容。");
    return lines;
}

std::wstring Winapp2EntryHint(const TWinapp2Rule& rule) {
    std::wstring hint = Winapp2GroupName(rule.Entry) + L" - " + rule.Source;
    if (rule.Refused()) return L"已拒绝: " + rule.Entry.Refusal + L"\r" + hint;
    if (!rule.Entry.KeyFaults.empty()) {
        std::wstring faults;
        for (const std::wstring& fault : rule.Entry.KeyFaults) faults += (faults.empty() ? L"" : L"; ") + fault;
        hint = L"跳过的键: " + faults + L"\r" + hint;
    }
    if (!rule.Entry.UserFilesWarning.empty()) hint = L"警告: " + rule.Entry.UserFilesWarning + L"\r" + hint;
    if (!rule.Entry.Warning.empty()) hint = L"警告: " + rule.Entry.Warning + L"\r" + hint;
    return hint;
}
