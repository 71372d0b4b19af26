#include "engine/VantrelClasses.h"
#include "texts/Texts.h"

#include "engine/Exceptions.h"
#include "engine/PlaceholderMode.h"
#include "engine/SystemRoutines.h"
#include "platform/LongPath.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <exception>
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

// Upper-cases Source into Target (a-z only) in one pass; answers where its
// first colon is (npos: none), the only unit a recycle-bin marker can start at.
size_t UpperCaseInto(const std::wstring& source, std::wstring& target) {
    target.resize(source.size());
    size_t colon = std::wstring::npos;
    for (size_t i = 0; i < source.size(); ++i) {
        const wchar_t c = source[i];
        if (c == L':' && colon == std::wstring::npos) colon = i;
        target[i] = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
    return colon;
}

// True when the file no longer exists (temporary files come and go during a walk).
bool FileIsGone(const std::wstring& fileName) {
    if (::GetFileAttributesW(LiteralPath(fileName).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The same test for a file the walk did not hand over, reading its size on the way.
bool FileIsThere(const std::wstring& fileName, uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    size = 0;
    if (::GetFileAttributesExW(LiteralPath(fileName).c_str(), GetFileExInfoStandard, &data)) {
        size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return true;
    }
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

constexpr int64_t SecondsPerWeek = 7 * 24 * 3600;

// A recycle bin's files belong to the bin and its own action: RECYCLER up to
// Windows XP, $Recycle.Bin from Vista on (upper case, like the paths tested).
const std::wstring RecyclerMarkers[] = {L":\\RECYCLER", L":\\$RECYCLE.BIN"};

// From the first colon on: a path has one, right after its drive letter.
bool InRecycleBin(std::wstring_view upperFileName, size_t firstColon) {
    for (size_t colon = firstColon; colon != std::wstring_view::npos; colon = upperFileName.find(L':', colon + 1))
        for (const std::wstring& marker : RecyclerMarkers)
            if (upperFileName.compare(colon, marker.size(), marker) == 0) return true;
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
    SetKeyFromName();
    // Masks never change after Configure; compile them once for the reading pass.
    FCompiledMasks = TCompiledMaskList(UpperCaseAscii(Masks));
    FileProtection.clear();
}

void TCleanupFileMaskItem::ReplaceMasks(const std::wstring& NewMasks) {
    if (NewMasks == Masks) return;
    FCompiledMasks = TCompiledMaskList(UpperCaseAscii(NewMasks));
    Masks = NewMasks;
    ++FMasksRevision;
}

bool TCleanupFileMaskItem::AcceptFile(const std::wstring& FileName, const std::wstring& FileProtection) {
    return AcceptFile(FileName, UpperCaseAscii(FileName), FileProtection);
}

bool TCleanupFileMaskItem::AcceptFile(const std::wstring& FileName, std::wstring_view UpperFileName,
                                      const std::wstring& FileProtection, const TFileTimes* Times) {
    if (!MatchesFile(UpperFileName)) return false;
    uint64_t size = 0;
    if (!IsOldEnough(FileName, FileProtection, Times, size)) return false;
    if (!TakeFoundFile(FileName, size)) return false;
    FoundFiles.Add(FileName, size);
    return true;
}

bool TCleanupFileMaskItem::IsOldEnough(const std::wstring& FileName, const std::wstring& FileProtection,
                                       const TFileTimes* Times, uint64_t& Size) const {
    // Decide the rule first: reading a file's time costs far more than matching
    // its name, and two of the modes never look at it.
    const bool smart = FileProtection == L"Smart";
    const bool sessionRule = FileProtection == L"Uptime" || (smart && SmartProtection == TSmartProtection::spSession);
    const bool weekRule = FileProtection == L"Week" || (smart && SmartProtection == TSmartProtection::spWeek);
    if (FileProtection == L"None") {
        if (Times == nullptr) return FileIsThere(FileName, Size);
        Size = Times->Size;
        return true;
    }
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
    Size = times.Size;
    // From the latest of its times: a file written just now may show an access
    // weeks old where the system does not update access times.
    const int64_t age = FileAgeSeconds(Now(), times, CurrentLocalBias());
    if (sessionRule) return GetUptimeSeconds() <= age;
    return age >= SecondsPerWeek;
}

void TCleanupFileMaskItem::GetFirstInfoLine(std::wstring& Text) {
    const size_t count = FoundFiles.size();
    if (count == 0)
        Text = LoadText(TTextId::InfoNoFilesFound);
    else if (count == 1)
        Text = LoadText(TTextId::InfoOneFileFound);
    else
        Text = FormatText(TTextId::InfoFilesFound, count);
}

void TCleanupFileMaskItem::GetSecondInfoLine(std::wstring& Text) {
    Assert(!FileProtection.empty(), L"TCleanupFileMaskItem.GetSecondInfoLine -> FileProtection not set!");
    const bool session = SmartProtection == TSmartProtection::spSession;
    if (FileProtection == L"None")
        Text = LoadText(TTextId::InfoProtectionNone);
    else if (FileProtection == L"Uptime")
        Text = LoadText(TTextId::InfoProtectionSession);
    else if (FileProtection == L"Week")
        Text = LoadText(TTextId::InfoProtectionWeek);
    else if (FileProtection == L"Smart")
        Text = session ? LoadText(TTextId::InfoProtectionSmartSession) : LoadText(TTextId::InfoProtectionSmartWeek);
    else
        Text.clear();
}

TCleanupItemState TCleanupFileMaskItem::GetState() {
    return FoundFiles.empty() ? TCleanupItemState::csNothingFound : TCleanupItemState::csFilesFound;
}

int TCleanupFileMaskItem::DeletionThreads = 2;

uint64_t BytesFreedBySharedNames(std::vector<TDeletedFile> Names) {
    std::sort(Names.begin(), Names.end(), [](const TDeletedFile& a, const TDeletedFile& b) {
        return a.Volume != b.Volume ? a.Volume < b.Volume : a.Index < b.Index;
    });
    uint64_t bytes = 0;
    for (size_t first = 0, last; first < Names.size(); first = last) {
        uint32_t mostLinks = 0;
        for (last = first;
             last < Names.size() && Names[last].Volume == Names[first].Volume && Names[last].Index == Names[first].Index;
             ++last)
            mostLinks = std::max(mostLinks, Names[last].Links);
        // Names without an identity cannot be told together; none of them counts.
        const bool known = Names[first].Volume != 0 || Names[first].Index != 0;
        if (known && last - first >= mostLinks) bytes += Names[first].Size;
    }
    return bytes;
}

namespace {

// From this many files a second thread pays for its start.
constexpr size_t FilesForSecondThread = 64;

// What one thread's deletions came to. A file with several names is set
// aside: two threads may delete two of its names at once, each handle still
// seeing the other name, so whether its last name went is decided once both
// have finished (SettleSharedNames).
struct TDeletionTally {
    TCleanupOutcome Outcome;
    std::vector<TDeletedFile> SharedNames;

    void Delete(const TFoundFileList& files, size_t index, std::wstring& path) {
        files.PathInto(index, path);
        TDeletedFile deleted;
        if (DeleteFoundFile(path, &deleted)) {
            ++Outcome.Deleted;
            if (deleted.Links <= 1)
                Outcome.Bytes += deleted.Size;
            else
                SharedNames.push_back(deleted);
        } else if (!FileIsGone(path)) {
            ++Outcome.NotDeleted;
        }
    }

    void Add(const TDeletionTally& other) {
        Outcome.Deleted += other.Outcome.Deleted;
        Outcome.Bytes += other.Outcome.Bytes;
        Outcome.NotDeleted += other.Outcome.NotDeleted;
        SharedNames.insert(SharedNames.end(), other.SharedNames.begin(), other.SharedNames.end());
    }

    void SettleSharedNames() {
        Outcome.Bytes += BytesFreedBySharedNames(std::move(SharedNames));
        SharedNames.clear();
    }
};

struct TDeletionThread {
    const TFoundFileList* Files;
    std::atomic<size_t>* Next;
    TDeletionTally Tally;
    std::exception_ptr Failure;

    static DWORD WINAPI Main(void* parameter) {
        auto& thread = *static_cast<TDeletionThread*>(parameter);
        try {
            ExposePlaceholdersOnThisThread();
            std::wstring path;
            for (size_t i; (i = thread.Next->fetch_add(1)) < thread.Files->size();) thread.Tally.Delete(*thread.Files, i, path);
        } catch (...) {
            thread.Failure = std::current_exception();
        }
        return 0;
    }
};

}  // namespace

void TCleanupFileMaskItem::Execute() {
    const size_t count = FoundFiles.size();
    Outcome = {};
    // Most of a deletion is the system's (under Wine its server's), so a second
    // thread overlaps it: each file goes through the primitive once, taken by
    // whichever thread comes first. This thread keeps the status texts, one per
    // file, in order, and with them the window's messages.
    std::atomic<size_t> next{0};
    TDeletionThread helper{&FoundFiles, &next, {}, nullptr};
    HANDLE thread = nullptr;
    if (DeletionThreads > 1 && count >= FilesForSecondThread && !DeletionIsHookedForTesting())
        thread = ::CreateThread(nullptr, 256 * 1024, TDeletionThread::Main, &helper,
                                STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    TDeletionTally tally;
    // Waits for the second thread and settles both threads' counts into Outcome.
    const auto finish = [&] {
        if (thread != nullptr) {
            next.store(count);  // it stops after the file in hand
            ::WaitForSingleObject(thread, INFINITE);
            ::CloseHandle(thread);
            thread = nullptr;
            tally.Add(helper.Tally);
        }
        tally.SettleSharedNames();
        Outcome = tally.Outcome;
    };
    size_t reported = 0;
    const auto reportUpTo = [&](size_t files) {
        while (reported < files) DoStatus(Name + L"  " + std::to_wstring(PercentHalfEven(++reported, count)) + L"%");
    };
    try {
        std::wstring path;
        for (size_t i; (i = next.fetch_add(1)) < count;) {
            reportUpTo(i + 1);
            tally.Delete(FoundFiles, i, path);
        }
        reportUpTo(count);
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (helper.Failure) std::rethrow_exception(helper.Failure);
    FoundFiles.clear();
}

// --- TCleanupSpecialActionItem ---

void TCleanupSpecialActionItem::AfterConstruction() {
    RegistryKeys.clear();
    Configure(Name, ProgressText, FirstInfoLine, SecondInfoLine);
    SetKeyFromName();
}

void TCleanupSpecialActionItem::Execute() {
    for (const auto& key : RegistryKeys) DeleteRegistryValues(HKEY_CURRENT_USER, key);
}

// --- TCleanupList ---

TCleanupList::TCleanupList()
    : FProtectedMasks(MakeMaskList(
          {L"*\\microsoft\\office\\data\\opa*.bak", L"*\\microsoft\\office\\data\\data.bak", L"*\\INSTALL.LOG"})),
      FCompiledProtectedMasks(UpperCaseAscii(FProtectedMasks)) {}

namespace {

// Up to three units packed into one key, 21 bits each (wchar_t is 32 bits in
// native builds), the count above them.
uint64_t EndingKey(std::wstring_view units) {
    uint64_t key = units.size();
    for (wchar_t c : units) key = (key << 21) | (static_cast<uint64_t>(c) & 0x1FFFFF);
    return key;
}

// The hash of a start, built four units a step (every start length is a
// multiple of four) so that a name's starts of every length cost one pass over
// its first units.
uint64_t StartHashStep(uint64_t hash, const wchar_t* units) {
    uint64_t word = 0;
    for (size_t k = 0; k < 4; ++k) word |= static_cast<uint64_t>(static_cast<uint16_t>(units[k])) << (16 * k);
    hash = (hash ^ word) * 0x100000001B3ULL;
    return hash ^ (hash >> 31);
}
constexpr uint64_t StartHashSeed = 0xCBF29CE484222325ULL;

uint64_t StartKey(uint64_t hash, size_t length) { return hash ^ static_cast<uint64_t>(length); }

constexpr uint64_t UsedSlot = uint64_t{1} << 63;

size_t SlotOf(uint64_t key, size_t slots) {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 32) & (slots - 1);
}

}  // namespace

void TCleanupList::TEndingIndex::TTable::Add(uint64_t Key, uint64_t Bit) {
    Key |= UsedSlot;
    if (Keys.empty()) {
        Keys.assign(256, 0);
        Bits.assign(256, 0);
    }
    size_t slot = SlotOf(Key, Keys.size());
    while (Keys[slot] != 0 && Keys[slot] != Key) slot = (slot + 1) & (Keys.size() - 1);
    Keys[slot] = Key;
    Bits[slot] |= Bit;
    size_t used = 0;
    for (uint64_t k : Keys) used += k != 0 ? 1 : 0;
    if (4 * used < Keys.size()) return;
    // Keep the table at most a quarter full: every look-up of a name that
    // misses stops at the first empty slot.
    TTable grown;
    grown.Keys.assign(Keys.size() * 2, 0);
    grown.Bits.assign(Keys.size() * 2, 0);
    for (size_t i = 0; i < Keys.size(); ++i)
        if (Keys[i] != 0) {
            size_t s = SlotOf(Keys[i], grown.Keys.size());
            while (grown.Keys[s] != 0) s = (s + 1) & (grown.Keys.size() - 1);
            grown.Keys[s] = Keys[i];
            grown.Bits[s] = Bits[i];
        }
    *this = std::move(grown);
}

uint64_t TCleanupList::TEndingIndex::TTable::Find(uint64_t Key) const {
    if (Keys.empty()) return 0;
    Key |= UsedSlot;
    for (size_t slot = SlotOf(Key, Keys.size());; slot = (slot + 1) & (Keys.size() - 1)) {
        if (Keys[slot] == Key) return Bits[slot];
        if (Keys[slot] == 0) return 0;
    }
}

void TCleanupList::TEndingIndex::Build(const std::vector<const TCompiledMaskList*>& Lists) {
    Built = true;
    Any = 0;
    ByEnding = {};
    ByStart = {};
    ByInner.clear();
    Usable = Lists.size() <= 64;
    if (!Usable) return;
    constexpr size_t MinStart = StartLengths[0], MaxStart = std::size(StartLengths) - 1;
    for (size_t i = 0; i < Lists.size(); ++i) {
        const uint64_t bit = uint64_t{1} << i;
        const auto anchors = Lists[i]->Anchors(MaxEnding, StartLengths[MaxStart]);
        const bool anchored = anchors && std::all_of(anchors->begin(), anchors->end(), [](const auto& a) {
            return !a.Ending.empty() || a.Start.size() >= MinStart || a.Inner.size() >= MinInner;
        });
        if (!anchored) {
            Any |= bit;
            continue;
        }
        for (const auto& anchor : *anchors) {
            if (!anchor.Ending.empty()) {
                ByEnding.Add(EndingKey(anchor.Ending), bit);
                continue;
            }
            if (anchor.Start.size() < MinStart) {
                ByInner.push_back({anchor.Inner, bit});
                continue;
            }
            size_t length = MinStart;
            for (size_t k : StartLengths)
                if (k <= anchor.Start.size()) length = k;
            uint64_t hash = StartHashSeed;
            for (size_t k = 0; k < length; k += 4) hash = StartHashStep(hash, anchor.Start.data() + k);
            ByStart.Add(StartKey(hash, length), bit);
        }
    }
}

uint64_t TCleanupList::TEndingIndex::Candidates(std::wstring_view UpperFileName) const {
    uint64_t bits = Any;
    const size_t n = UpperFileName.size();
    if (!ByEnding.Keys.empty())
        for (size_t k = 1; k <= MaxEnding && k <= n; ++k) bits |= ByEnding.Find(EndingKey(UpperFileName.substr(n - k)));
    if (!ByStart.Keys.empty()) {
        uint64_t hash = StartHashSeed;
        size_t done = 0;
        for (size_t k : StartLengths) {
            if (k > n) break;
            for (; done < k; done += 4) hash = StartHashStep(hash, UpperFileName.data() + done);
            bits |= ByStart.Find(StartKey(hash, k));
        }
    }
    for (const TInner& inner : ByInner)
        if ((bits & inner.Bit) == 0 && UpperFileName.find(inner.Units) != std::wstring_view::npos) bits |= inner.Bit;
    return bits;
}

TCleanupCustomItem& TCleanupList::AddAction(const TCleanupItemClass& ItemClass, bool DefaultChecked) {
    FEndingIndex.Built = false;
    std::unique_ptr<TCleanupCustomItem> item = ItemClass.Create();
    item->OnStatus = [this](TCleanupCustomItem* Sender, const std::wstring& Text) { DoStatus(Sender, Text); };
    item->DefaultChecked = DefaultChecked;
    if (auto* fileMaskItem = dynamic_cast<TCleanupFileMaskItem*>(item.get())) FFileMaskItems.push_back(fileMaskItem);
    FItems.push_back(std::move(item));
    return *FItems.back();
}

TCleanupCustomItem& TCleanupList::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError(FormatText(TTextId::ErrorListIndex, Index));
    return *FItems[static_cast<size_t>(Index)];
}

void TCleanupList::SetChecked(int Index, bool Value) { Items(Index).Checked = Value; }

void TCleanupList::ExecuteChecked(const std::function<void(TCleanupCustomItem& Action)>& OnActionError) {
    // A file that several actions took is deleted once, by the first of them.
    // Deleting its name again would take whatever carries that name by then,
    // unchecked: a file made since, or, under Wine, a file whose name differs
    // only in letter case.
    std::unordered_set<std::wstring> handled;
    for (auto* item : FFileMaskItems) item->Outcome = {};
    // However the pass ends, the checked actions' lists are emptied by then.
    struct TForget {
        TCleanupList* List;
        uint64_t Emptied;
        ~TForget() { List->ForgetSharedFiles(Emptied); }
    } forget{this, FileMaskBits(true)};
    for (auto& item : FItems) {
        if (!item->Checked) continue;
        if (auto* fileMaskItem = dynamic_cast<TCleanupFileMaskItem*>(item.get())) {
            const TFoundFileList& files = fileMaskItem->FoundFiles;
            fileMaskItem->FoundFiles.EraseIf([&](size_t i) { return !handled.insert(files[i]).second; });
        }
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
        std::wstring path;
        for (auto* other : FFileMaskItems)
            if (other != fileMaskItem)
                other->FoundFiles.EraseIf([&](size_t i) {
                    other->FoundFiles.PathInto(i, path);
                    return handled.contains(path);
                });
    };
    // Every file of this action leaves every list: so do the shares it had.
    uint64_t bit = 0;
    for (size_t i = 0; i < FFileMaskItems.size(); ++i)
        if (FFileMaskItems[i] == fileMaskItem && i < 64) bit = uint64_t{1} << i;
    std::erase_if(FSharedBytes, [bit](const auto& shared) { return (shared.first & bit) != 0; });
    try {
        Item.Perform();
    } catch (...) {
        dropHandled();
        throw;
    }
    dropHandled();
}

uint64_t TCleanupList::FileMaskBits(bool CheckedOnly) const {
    uint64_t bits = 0;
    for (size_t i = 0; i < FFileMaskItems.size() && i < 64; ++i)
        if (!CheckedOnly || FFileMaskItems[i]->Checked) bits |= uint64_t{1} << i;
    return bits;
}

void TCleanupList::ForgetSharedFiles(uint64_t Emptied) {
    // The emptied actions hold none of the shared files now; a share still held
    // by two or more of the others stays.
    std::unordered_map<uint64_t, uint64_t> kept;
    for (const auto& [bits, bytes] : FSharedBytes)
        if (std::popcount(bits & ~Emptied) >= 2) kept[bits & ~Emptied] += bytes;
    FSharedBytes.swap(kept);
}

uint64_t TCleanupList::CheckedFoundBytes() const {
    uint64_t total = 0;
    for (const auto* item : FFileMaskItems)
        if (item->Checked) total += item->FoundFiles.TotalSize();
    const uint64_t checked = FileMaskBits(true);
    for (const auto& [bits, bytes] : FSharedBytes) {
        const int takers = std::popcount(bits & checked);
        if (takers >= 2) total -= static_cast<uint64_t>(takers - 1) * bytes;
    }
    return total;
}

TCleanupOutcome TCleanupList::CheckedOutcome() const {
    TCleanupOutcome sum;
    for (const auto* item : FFileMaskItems)
        if (item->Checked) {
            sum.Deleted += item->Outcome.Deleted;
            sum.Bytes += item->Outcome.Bytes;
            sum.NotDeleted += item->Outcome.NotDeleted;
        }
    return sum;
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
    uint64_t revisions = 0;
    for (auto* item : FFileMaskItems) {
        item->ClearFoundFiles();
        revisions += item->MasksRevision();
    }
    // An action changed its masks as the pass starts: it is filed again.
    if (revisions != FMasksRevisions) FEndingIndex.Built = false;
    FMasksRevisions = revisions;
    FSharedBytes.clear();
}

bool TCleanupList::AddFoundFile(const std::wstring& FileName, const std::wstring& FileProtection,
                                const TFileTimes* Times) {
    const size_t colon = UpperCaseInto(FileName, FUpperBuffer);
    if (InRecycleBin(FUpperBuffer, colon)) return false;
    if (!FEndingIndex.Built) {
        std::vector<const TCompiledMaskList*> lists;
        for (auto* item : FFileMaskItems) lists.push_back(&item->CompiledMasks());
        FEndingIndex.Build(lists);
        FProtectedIndex.Build({&FCompiledProtectedMasks});
    }
    // The never-delete masks are filed in the same way: most names cannot meet them.
    if ((!FProtectedIndex.Usable || FProtectedIndex.Candidates(FUpperBuffer) != 0) && IsProtectedUpper(FUpperBuffer))
        return false;
    bool accepted = false;
    if (!FEndingIndex.Usable) {
        for (auto* item : FFileMaskItems)
            accepted = item->AcceptFile(FileName, FUpperBuffer, FileProtection, Times) || accepted;
        return accepted;
    }
    // Lowest bit first: the actions still meet the name in list order.
    uint64_t takers = 0;
    for (uint64_t bits = FEndingIndex.Candidates(FUpperBuffer); bits != 0; bits &= bits - 1) {
        const auto index = static_cast<size_t>(std::countr_zero(bits));
        auto* item = FFileMaskItems[index];
        if (item->AcceptFile(FileName, FUpperBuffer, FileProtection, Times)) takers |= uint64_t{1} << index;
    }
    if (std::popcount(takers) >= 2) {
        // All took the same file, so the last list's record holds its size.
        const auto* last = FFileMaskItems[63 - static_cast<size_t>(std::countl_zero(takers))];
        FSharedBytes[takers] += last->FoundFiles.Size(last->FoundFiles.size() - 1);
    }
    return takers != 0;
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
