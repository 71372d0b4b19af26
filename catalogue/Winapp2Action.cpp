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
    if (bytes >= 1024) return FormatText(TTextId::ByteCountWithSize, bytes, FormatSizeText(static_cast<double>(bytes)));
    return FormatText(TTextId::ByteCount, bytes);
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
    Name = LoadText(TTextId::ActionWinapp2);
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
    return FormatText(TTextId::Winapp2RowChecked, Name, checked);
}

void TCleanupWinapp2Item::GetFirstInfoLine(std::wstring& Text) {
    WaitForRules();
    if (Rules.Files.empty()) {
        Text = LoadText(TTextId::Winapp2NotFound);
        return;
    }
    if (Checked && !FReadThisPass) {
        Text = LoadText(TTextId::Winapp2NotReadThisPass);
        return;
    }
    TCleanupFileMaskItem::GetFirstInfoLine(Text);
}

void TCleanupWinapp2Item::GetSecondInfoLine(std::wstring& Text) {
    WaitForRules();
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
        lines.push_back(FormatText(TTextId::Winapp2LogOutcome, Winapp2DisplayName(rule.Entry.Name), o.Deleted,
                                   BytesText(o.Bytes), o.FoldersRemoved, o.RegistryDeleted, o.NotDeleted));
    }
    return lines;
}

std::vector<std::wstring> TCleanupWinapp2Item::LoadLogLines() const {
    std::vector<std::wstring> lines;
    for (const std::wstring& unread : Rules.UnreadFiles) lines.push_back(FormatText(TTextId::Winapp2LogUnreadFile, unread));
    if (Rules.Files.empty()) return lines;
    std::wstring files;
    for (const std::wstring& file : Rules.Files) files += (files.empty() ? L"" : L", ") + file;
    lines.push_back(FormatText(TTextId::Winapp2LogLoaded, Rules.Rules.size(), files, Rules.OfferedCount(),
                               Rules.RefusedCount(), Rules.CheckedCount()));
    wchar_t took[32];
    std::swprintf(took, 32, L"%.0f", LoadMilliseconds);
    lines.push_back(FormatText(TTextId::Winapp2LogTook, std::wstring(took)));
    for (const TWinapp2Rule& rule : Rules.Rules) {
        if (!rule.Offered()) continue;
        const std::wstring name = Winapp2DisplayName(rule.Entry.Name);
        if (rule.Refused()) {
            lines.push_back(FormatText(TTextId::Winapp2LogRefused, name, rule.Entry.Refusal));
            continue;
        }
        for (const std::wstring& fault : rule.Entry.KeyFaults)
            lines.push_back(FormatText(TTextId::Winapp2LogSkippedKey, name, fault));
        if (!rule.Entry.UserFilesWarning.empty())
            lines.push_back(FormatText(TTextId::Winapp2LogWarning, name, rule.Entry.UserFilesWarning));
    }
    if (const int faults = Rules.KeyFaultCount(); faults > 0)
        lines.push_back(FormatText(TTextId::Winapp2LogSkippedKeys, faults));
    for (const std::wstring& value : Rules.UnknownSpecialDetects)
        lines.push_back(FormatText(TTextId::Winapp2LogUnknownSpecialDetect, value));
    if (Rules.SkippedLines > 0)
        lines.push_back(FormatText(TTextId::Winapp2LogSkippedLines, Rules.SkippedLines));
    return lines;
}

std::wstring Winapp2EntryHint(const TWinapp2Rule& rule) {
    std::wstring hint = Winapp2GroupName(rule.Entry) + L" - " + rule.Source;
    if (rule.Refused()) return FormatText(TTextId::Winapp2HintRefused, rule.Entry.Refusal) + L"\r" + hint;
    if (!rule.Entry.KeyFaults.empty()) {
        std::wstring faults;
        for (const std::wstring& fault : rule.Entry.KeyFaults) faults += (faults.empty() ? L"" : L"; ") + fault;
        hint = FormatText(TTextId::Winapp2HintSkippedKeys, faults) + L"\r" + hint;
    }
    if (!rule.Entry.UserFilesWarning.empty())
        hint = FormatText(TTextId::Winapp2HintWarning, rule.Entry.UserFilesWarning) + L"\r" + hint;
    if (!rule.Entry.Warning.empty()) hint = FormatText(TTextId::Winapp2HintWarning, rule.Entry.Warning) + L"\r" + hint;
    return hint;
}
