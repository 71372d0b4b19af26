// The action model: the abstract cleanup action, its two families (file-mask
// actions and special actions) and the list that owns them all.
#pragma once

#include "engine/FoundFileList.h"
#include "engine/Masks.h"
#include "engine/SystemRoutines.h"
#include "texts/Texts.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class TCleanupCustomItem;

enum class TCleanupItemState : uint8_t { csFilesFound = 0, csNothingFound = 1, csNotCounted = 2 };
enum class TSmartProtection : uint8_t { spSession = 0, spWeek = 1 };

using TStatusEvent = std::function<void(TCleanupCustomItem* Sender, const std::wstring& Text)>;

// Describes an action class before any instance exists: its class-level
// availability test and a factory that runs the family's creation steps.
struct TCleanupItemClass {
    bool (*IsAvailable)();
    std::unique_ptr<TCleanupCustomItem> (*Create)();
};

class TCleanupCustomItem {
public:
    virtual ~TCleanupCustomItem() = default;
    TCleanupCustomItem(const TCleanupCustomItem&) = delete;
    TCleanupCustomItem& operator=(const TCleanupCustomItem&) = delete;

    bool Checked = false;
    bool DefaultChecked = false;
    std::wstring Name;  // as shown, in the display language
    // The name the settings file stores the tick by: the Chinese name, whatever
    // the display language; worked out from Name after Configure.
    std::wstring Key;
    std::wstring FirstInfoLine;
    std::wstring SecondInfoLine;
    std::wstring ProgressText;
    std::wstring FileProtection;
    TStatusEvent OnStatus;

    virtual void GetFirstInfoLine(std::wstring& Text) { Text = FirstInfoLine; }
    virtual void GetSecondInfoLine(std::wstring& Text) { Text = SecondInfoLine; }
    virtual TCleanupItemState GetState() = 0;
    virtual void Execute() = 0;
    // The class-level availability test; concrete classes hide it with their own.
    static bool IsAvailable() { return true; }

    void DoStatus(const std::wstring& Text);
    // ProgressText, then Execute, then an empty text.
    void Perform();

    // The class descriptor of a concrete action class T.
    template <class T>
    static TCleanupItemClass ClassOf() {
        return TCleanupItemClass{&T::IsAvailable, &CreateInstance<T>};
    }

protected:
    TCleanupCustomItem() = default;
    // Fills Key from Name (a text of the table, its parts filled in), after Configure.
    void SetKeyFromName() { Key = ChineseTextOf(Name); }
    // The family's creation steps, run once right after construction (C++ does
    // not dispatch virtual calls from a constructor, and Configure is virtual).
    virtual void AfterConstruction() = 0;

private:
    template <class T>
    static std::unique_ptr<TCleanupCustomItem> CreateInstance() {
        std::unique_ptr<TCleanupCustomItem> item = std::make_unique<T>();
        item->AfterConstruction();
        return item;
    }
};

// What an action's last Execute did with its found files.
struct TCleanupOutcome {
    int64_t Deleted = 0;     // files it deleted
    uint64_t Bytes = 0;      // what that freed: a file with several names counts when its last name goes
    int64_t NotDeleted = 0;  // files that are still there
};

// The bytes freed by deleting names of files that had several (TDeletedFile
// with Links above 1), deleted at the same time or one after another: a file
// was freed when as many of its names were deleted as the most any of their
// handles saw (a name deleted after all others saw one and counts for itself).
// Each freed file counts once.
uint64_t BytesFreedBySharedNames(std::vector<TDeletedFile> Names);

// Actions that find files by full-path masks during the reading pass and delete them.
class TCleanupFileMaskItem : public TCleanupCustomItem {
public:
    TFoundFileList FoundFiles;  // with each file's size, as the walk saw it
    std::wstring Masks;
    TSmartProtection SmartProtection = TSmartProtection::spSession;
    TCleanupOutcome Outcome;
    // Threads that delete a long found list: 2, this one and one more; 1, this
    // one alone. Kept to measure the two against each other.
    static int DeletionThreads;

    // Tests FileName against the masks and the protection mode; adds it to
    // FoundFiles when taken. Raises when the file's last-access time cannot be read.
    bool AcceptFile(const std::wstring& FileName, const std::wstring& FileProtection);
    // The same, for callers that already hold the upper-cased path and, from
    // the walk, the file's times (null: read them from the file).
    bool AcceptFile(const std::wstring& FileName, std::wstring_view UpperFileName, const std::wstring& FileProtection,
                    const TFileTimes* Times = nullptr);

    void GetFirstInfoLine(std::wstring& Text) override;
    void GetSecondInfoLine(std::wstring& Text) override;
    TCleanupItemState GetState() override;
    void Execute() override;
    // Forgets what the last reading pass found; the list calls it as a pass starts.
    virtual void ClearFoundFiles() { FoundFiles.clear(); }

    const TCompiledMaskList& CompiledMasks() const { return FCompiledMasks; }
    // Counts the changes of the masks after creation (ReplaceMasks): the list
    // files its actions by their masks again when a pass starts after one.
    uint64_t MasksRevision() const { return FMasksRevision; }

protected:
    virtual void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) = 0;
    void AfterConstruction() override;
    // For an action whose masks follow its own settings (the winapp2.ini row,
    // none while it is unticked): call it from ClearFoundFiles, as a pass starts.
    void ReplaceMasks(const std::wstring& NewMasks);
    // An action with rules finer than masks answers here; its masks then only
    // tell the list which names may reach it.
    virtual bool MatchesFile(std::wstring_view UpperFileName) { return FCompiledMasks.MatchesAny(UpperFileName); }
    // A file that matched and is old enough, just before it joins FoundFiles;
    // false keeps it out.
    virtual bool TakeFoundFile(const std::wstring& FileName, uint64_t Size) {
        (void)FileName;
        (void)Size;
        return true;
    }

private:
    // Size: the file's, from Times or from the file, when it is old enough.
    bool IsOldEnough(const std::wstring& FileName, const std::wstring& FileProtection, const TFileTimes* Times,
                     uint64_t& Size) const;
    TCompiledMaskList FCompiledMasks;
    uint64_t FMasksRevision = 0;
};

// Actions that perform one special operation, after clearing the values of their registry keys.
class TCleanupSpecialActionItem : public TCleanupCustomItem {
public:
    // Key paths under HKEY_CURRENT_USER, each with a leading backslash.
    std::vector<std::wstring> RegistryKeys;

    TCleanupItemState GetState() override { return TCleanupItemState::csNotCounted; }
    // Clears the values of every key in RegistryKeys, in order.
    void Execute() override;

protected:
    virtual void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                           std::wstring& SecondInfoLine) = 0;
    void AfterConstruction() override;
};

// The ordered list of all actions; owns them.
class TCleanupList {
public:
    TCleanupList();
    TCleanupList(const TCleanupList&) = delete;
    TCleanupList& operator=(const TCleanupList&) = delete;

    TStatusEvent OnStatus;
    // Built-in never-delete masks, as comma text.
    const std::wstring& ProtectedMasks() const { return FProtectedMasks; }

    TCleanupCustomItem& AddAction(const TCleanupItemClass& ItemClass, bool DefaultChecked);
    int Count() const { return static_cast<int>(FItems.size()); }
    // Raises EListError for an index outside the list.
    TCleanupCustomItem& Items(int Index) const;
    void SetChecked(int Index, bool Value);
    // Performs every checked action in list order. Without OnActionError the first
    // action that raises ends the pass with its exception; with it, the handler is
    // called inside the catch (the exception is current) and the next action runs.
    void ExecuteChecked(const std::function<void(TCleanupCustomItem& Action)>& OnActionError = nullptr);
    // The found files of the checked file-mask actions, each path once, in list order.
    std::vector<std::wstring> CheckedFoundFiles() const;
    // Performs one action by itself (the detail window's cleanup), then drops
    // the files it handled from every other action's list: a file is deleted
    // by name once, whichever way the cleanup was started.
    void PerformAlone(TCleanupCustomItem& Item);
    void ClearFoundFiles();
    // The bytes the ticked file-mask actions would free: the sizes of their found
    // files, a file that several of them took counted once.
    uint64_t CheckedFoundBytes() const;
    // The outcomes of the last cleanup, summed over the checked file-mask actions.
    TCleanupOutcome CheckedOutcome() const;
    // Files in a recycle bin (RECYCLER, $Recycle.Bin) and protected files are
    // offered to no action. Times: what the walk saw, so no action reads them
    // again (null: each reads them).
    bool AddFoundFile(const std::wstring& FileName, const std::wstring& FileProtection,
                      const TFileTimes* Times = nullptr);
    bool IsProtectedFile(const std::wstring& FileName) const;
    void DoStatus(TCleanupCustomItem* Sender, const std::wstring& Text);

private:
    // Which file-mask actions can take a name. Each mask is filed under its
    // fixed ending (".TMP", "\THUMBS.DB" by its last three units), else under its
    // fixed start ("C:\WINDOWS\PREFETCH\" for "C:\WINDOWS\PREFETCH\*"), else its
    // action is filed under "any". A name then meets only the actions filed
    // under its own endings and starts, in list order; no other could take it.
    // Bit i stands for FFileMaskItems[i]. The never-delete masks have an index of their own.
    struct TEndingIndex {
        static constexpr std::size_t MaxEnding = 3;
        // A start is filed by its first 4, 8, 12, 16, 24 or 32 units, the most
        // it has: a name then costs at most six look-ups whatever the starts.
        static constexpr std::size_t StartLengths[] = {4, 8, 12, 16, 24, 32};
        // Bits by 64-bit key, open addressing; the top bit marks a used slot.
        struct TTable {
            std::vector<uint64_t> Keys, Bits;
            void Add(uint64_t Key, uint64_t Bit);
            uint64_t Find(uint64_t Key) const;
        };
        bool Built = false;
        bool Usable = false;  // false with more actions than bits: every action sees every name
        uint64_t Any = 0;
        // Endings by their units, starts by a hash of their units: two starts
        // that share a hash only make more candidates, and every candidate
        // matches in full.
        TTable ByEnding, ByStart;
        // Actions with a mask that has neither a fixed ending nor start but a
        // fixed run of units inside ("\REALONE PLAYER\HISTORY\"): a name meets
        // them only when it holds that run.
        static constexpr std::size_t MinInner = 4;
        struct TInner {
            std::wstring Units;
            uint64_t Bit;
        };
        std::vector<TInner> ByInner;
        void Build(const std::vector<const TCompiledMaskList*>& Lists);
        uint64_t Candidates(std::wstring_view UpperFileName) const;
    };

    bool IsProtectedUpper(std::wstring_view UpperFileName) const;
    uint64_t FileMaskBits(bool CheckedOnly) const;
    // After a cleanup pass has emptied the lists of the actions in Emptied.
    void ForgetSharedFiles(uint64_t Emptied);
    std::vector<std::unique_ptr<TCleanupCustomItem>> FItems;
    std::vector<TCleanupFileMaskItem*> FFileMaskItems;  // the file-mask members of FItems, in list order
    std::wstring FProtectedMasks;
    TCompiledMaskList FCompiledProtectedMasks;
    std::wstring FUpperBuffer;  // reused across AddFoundFile calls
    uint64_t FMasksRevisions = 0;  // the sum of the actions' MasksRevision when the index was built
    TEndingIndex FEndingIndex;     // built at the first AddFoundFile after the actions changed
    TEndingIndex FProtectedIndex;  // of FCompiledProtectedMasks, bit 0
    // Bytes of the files that more than one action took, by the set of actions
    // (bit i: FFileMaskItems[i]) that took them; what CheckedFoundBytes takes off.
    std::unordered_map<uint64_t, uint64_t> FSharedBytes;
};
