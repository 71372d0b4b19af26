#include "engine/VantrelClasses.h"

#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "platform/LongPath.h"

#include <windows.h>

#include <unordered_set>

namespace {

// i of n as a whole per cent, halves going to the even neighbour. Integer
// arithmetic, so 1 of 8 gives exactly 12 and 3 of 8 exactly 38.
int PercentHalfEven(size_t i, size_t n) {
    const size_t scaled = 100 * i;
    size_t q = scaled / n;
    const size_t twiceRemainder = 2 * (scaled % n);
    if (twiceRemainder > n || (twiceRemainder == n && (q % 2) == 1)) ++q;
    return static_cast<int>(q);
}

void UpperCaseInto(const std::wstring& source, std::wstring& target) {
    target.assign(source);
    for (auto& c : target)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
}

// True when the file no longer exists (temporary files come and go during a walk).
bool FileIsGone(const std::wstring& fileName) {
    if (::GetFileAttributesW(ExtendedLengthPath(fileName).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

constexpr int64_t SecondsPerWeek = 7 * 24 * 3600;

// A recycle bin's files belong to the bin and its own action: RECYCLER up to
// Windows XP, $Recycle.Bin from Vista on (upper case, like the paths tested).
const std::wstring RecyclerMarkers[] = {L":\\RECYCLER", L":\\$RECYCLE.BIN"};

bool InRecycleBin(const std::wstring& upperFileName) {
    for (const std::wstring& marker : RecyclerMarkers)
        if (upperFileName.find(marker) != std::wstring::npos) return true;
    return false;
}

}  // namespace

// --- TCleanupCustomItem ---

void TCleanupCustomItem::DoStatus(const std::wstring& Text) {
    if (OnStatus) OnStatus(this, Text);
}

void TCleanupCustomItem::Perform() {
    DoStatus(ProgressText);
    Execute();
    DoStatus(L"");
}

// --- TCleanupFileMaskItem ---

void TCleanupFileMaskItem::AfterConstruction() {
    FoundFiles.clear();
    Configure(Name, Masks, SmartProtection);
    // Masks never change after Configure; compile them once for the reading pass.
    FCompiledMasks = TCompiledMaskList(UpperCaseAscii(Masks));
    FileProtection.clear();
}

bool TCleanupFileMaskItem::AcceptFile(const std::wstring& FileName, const std::wstring& FileProtection) {
    return AcceptFile(FileName, UpperCaseAscii(FileName), FileProtection);
}

bool TCleanupFileMaskItem::AcceptFile(const std::wstring& FileName, std::wstring_view UpperFileName,
                                      const std::wstring& FileProtection, const TFileTimes* Times) {
    if (!FCompiledMasks.MatchesAny(UpperFileName)) return false;
    if (!IsOldEnough(FileName, FileProtection, Times)) return false;
    FoundFiles.push_back(FileName);
    return true;
}

bool TCleanupFileMaskItem::IsOldEnough(const std::wstring& FileName, const std::wstring& FileProtection,
                                       const TFileTimes* Times) const {
    // Decide the rule first: reading a file's time costs far more than matching
    // its name, and two of the modes never look at it.
    const bool smart = FileProtection == L"Smart";
    const bool sessionRule = FileProtection == L"Uptime" || (smart && SmartProtection == TSmartProtection::spSession);
    const bool weekRule = FileProtection == L"Week" || (smart && SmartProtection == TSmartProtection::spWeek);
    if (FileProtection == L"None") return Times != nullptr || !FileIsGone(FileName);
    if (!sessionRule && !weekRule) return false;

    TFileTimes times;
    if (Times != nullptr) {
        times = *Times;
    } else {
        try {
            times = GetFileTimes(FileName);
        } catch (const Exception&) {
            // A file that vanished since the walk saw it is simply not taken; any
            // other failure to read its time still ends the reading pass.
            if (FileIsGone(FileName)) return false;
            throw;
        }
    }
    // From the latest of its times: a file written just now may show an access
    // weeks old where the system does not update access times.
    const int64_t age = FileAgeSeconds(Now(), times, CurrentLocalBias());
    if (sessionRule) return GetUptimeSeconds() <= age;
    return age >= SecondsPerWeek;
}

void TCleanupFileMaskItem::GetFirstInfoLine(std::wstring& Text) {
    const size_t count = FoundFiles.size();
    if (count == 0)
        Text = L"没有找到文件。";
    else if (count == 1)
        Text = L"找到一个文件。";
    else
        Text = std::to_wstring(count) + L" 个文件被找到";
}

void TCleanupFileMaskItem::GetSecondInfoLine(std::wstring& Text) {
    Assert(!FileProtection.empty(), L"TCleanupFileMaskItem.GetSecondInfoLine -> FileProtection not set!");
    const bool session = SmartProtection == TSmartProtection::spSession;
    if (FileProtection == L"None")
        Text = L"文件保护: 无";
    else if (FileProtection == L"Uptime")
        Text = L"文件保护: Windows 会话";
    else if (FileProtection == L"Week")
        Text = L"文件保护: 上一周";
    else if (FileProtection == L"Smart")
        Text = session ? L"文件保护: Windows 会话 (智能)" : L"文件保护: 上一周 (智能)";
    else
        Text.clear();
}

TCleanupItemState TCleanupFileMaskItem::GetState() {
    return FoundFiles.empty() ? TCleanupItemState::csNothingFound : TCleanupItemState::csFilesFound;
}

void TCleanupFileMaskItem::Execute() {
    const size_t count = FoundFiles.size();
    for (size_t i = 1; i <= count; ++i) {
        DoStatus(Name + L"  " + std::to_wstring(PercentHalfEven(i, count)) + L"%");
        DeleteFoundFile(FoundFiles[i - 1]);
    }
    FoundFiles.clear();
}

// --- TCleanupSpecialActionItem ---

void TCleanupSpecialActionItem::AfterConstruction() {
    RegistryKeys.clear();
    Configure(Name, ProgressText, FirstInfoLine, SecondInfoLine);
}

void TCleanupSpecialActionItem::Execute() {
    for (const auto& key : RegistryKeys) DeleteRegistryValues(HKEY_CURRENT_USER, key);
}

// --- TCleanupList ---

TCleanupList::TCleanupList()
    : FProtectedMasks(MakeMaskList(
          {L"*\\microsoft\\office\\data\\opa*.bak", L"*\\microsoft\\office\\data\\data.bak", L"*\\INSTALL.LOG"})),
      FCompiledProtectedMasks(UpperCaseAscii(FProtectedMasks)) {}

TCleanupCustomItem& TCleanupList::AddAction(const TCleanupItemClass& ItemClass, bool DefaultChecked) {
    std::unique_ptr<TCleanupCustomItem> item = ItemClass.Create();
    item->OnStatus = [this](TCleanupCustomItem* Sender, const std::wstring& Text) { DoStatus(Sender, Text); };
    item->DefaultChecked = DefaultChecked;
    if (auto* fileMaskItem = dynamic_cast<TCleanupFileMaskItem*>(item.get())) FFileMaskItems.push_back(fileMaskItem);
    FItems.push_back(std::move(item));
    return *FItems.back();
}

TCleanupCustomItem& TCleanupList::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError(L"列表索引越界 (" + std::to_wstring(Index) + L")");
    return *FItems[static_cast<size_t>(Index)];
}

void TCleanupList::SetChecked(int Index, bool Value) { Items(Index).Checked = Value; }

void TCleanupList::ExecuteChecked(const std::function<void(TCleanupCustomItem& Action)>& OnActionError) {
    // A file that several actions took is deleted once, by the first of them.
    // Deleting its name again would take whatever carries that name by then,
    // unchecked: a file made since, or, under Wine, a file whose name differs
    // only in letter case.
    std::unordered_set<std::wstring> handled;
    for (auto& item : FItems) {
        if (!item->Checked) continue;
        if (auto* fileMaskItem = dynamic_cast<TCleanupFileMaskItem*>(item.get()))
            std::erase_if(fileMaskItem->FoundFiles,
                          [&handled](const std::wstring& file) { return !handled.insert(file).second; });
        if (!OnActionError) {
            item->Perform();
            continue;
        }
        try {
            item->Perform();
        } catch (...) {
            OnActionError(*item);
        }
    }
}

void TCleanupList::PerformAlone(TCleanupCustomItem& Item) {
    auto* fileMaskItem = dynamic_cast<TCleanupFileMaskItem*>(&Item);
    if (fileMaskItem == nullptr) {
        Item.Perform();
        return;
    }
    const std::unordered_set<std::wstring> handled(fileMaskItem->FoundFiles.begin(), fileMaskItem->FoundFiles.end());
    const auto dropHandled = [&] {
        for (auto* other : FFileMaskItems)
            if (other != fileMaskItem)
                std::erase_if(other->FoundFiles, [&handled](const std::wstring& file) { return handled.contains(file); });
    };
    try {
        Item.Perform();
    } catch (...) {
        dropHandled();
        throw;
    }
    dropHandled();
}

std::vector<std::wstring> TCleanupList::CheckedFoundFiles() const {
    std::vector<std::wstring> files;
    std::unordered_set<std::wstring> seen;
    for (const auto* item : FFileMaskItems)
        if (item->Checked)
            for (const std::wstring& file : item->FoundFiles)
                if (seen.insert(file).second) files.push_back(file);
    return files;
}

void TCleanupList::ClearFoundFiles() {
    for (auto* item : FFileMaskItems) item->FoundFiles.clear();
}

bool TCleanupList::AddFoundFile(const std::wstring& FileName, const std::wstring& FileProtection,
                                const TFileTimes* Times) {
    UpperCaseInto(FileName, FUpperBuffer);
    if (InRecycleBin(FUpperBuffer)) return false;
    if (IsProtectedUpper(FUpperBuffer)) return false;
    bool accepted = false;
    for (auto* item : FFileMaskItems) accepted = item->AcceptFile(FileName, FUpperBuffer, FileProtection, Times) || accepted;
    return accepted;
}

bool TCleanupList::IsProtectedFile(const std::wstring& FileName) const {
    return IsProtectedUpper(UpperCaseAscii(FileName));
}

bool TCleanupList::IsProtectedUpper(std::wstring_view UpperFileName) const {
    return FCompiledProtectedMasks.MatchesAny(UpperFileName);
}

void TCleanupList::DoStatus(TCleanupCustomItem* Sender, const std::wstring& Text) {
    if (OnStatus) OnStatus(Sender, Text);
}
