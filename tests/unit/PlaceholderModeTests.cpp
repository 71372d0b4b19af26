// Cloud placeholders exposed before anything lists or deletes. Wine has
// neither ntdll function, so stand-ins record when and on which thread they
// are called, and the reader's seams record when it lists.
#include "engine/PlaceholderMode.h"

#include "engine/Masks.h"
#include "engine/OrvDirectoryReader.h"
#include "engine/SystemRoutines.h"
#include "engine/VantrelClasses.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Events in the order they came, with the thread each came on.
struct TEvent {
    std::string What;
    DWORD Thread;
};
std::mutex GEventsLock;
std::vector<TEvent> GEvents;
char GAnswer = 0;  // what the stand-ins answer: the mode before, or an error (negative)

void Record(const std::string& what) {
    std::lock_guard<std::mutex> lock(GEventsLock);
    GEvents.push_back({what, ::GetCurrentThreadId()});
}

char __stdcall ProcessForm(char mode) {
    Record("process " + std::to_string(mode));
    return GAnswer;
}
char __stdcall ThreadForm(char mode) {
    Record("thread " + std::to_string(mode));
    return GAnswer;
}
bool RecordListing(const char* where) {
    Record(std::string("list ") + where);
    return false;
}

class TAllFilesItem : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override {
        Name = L"all";
        Masks = MakeMaskList({L"*"});
        SmartProtection = TSmartProtection::spSession;
    }
};

class PlaceholderModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        GEvents.clear();
        GAnswer = 0;
    }
    void TearDown() override {
        SetDirEntryHookForTesting(nullptr);
        SetAllocationFailureForTesting(nullptr);
        SetPlaceholderModeFunctionsForTesting(nullptr, nullptr, true);
    }

    // A small tree: three folders of two files each.
    std::wstring MakeTree() {
        for (const wchar_t* folder : {L"t\\a", L"t\\b", L"t\\c"})
            for (const wchar_t* file : {L"\\x.tmp", L"\\y.tmp"}) Folder.CreateFile(std::wstring(folder) + file);
        return Folder.Path() + L"t";
    }

    TTempFolder Folder{L"placeholders"};
};

}  // namespace

// Windows 10 1803 and later: the process form, once, before the first listing.
TEST_F(PlaceholderModeTest, TheProcessFormComesOnceBeforeTheFirstListing) {
    SetPlaceholderModeFunctionsForTesting(&ProcessForm, &ThreadForm);
    const std::wstring tree = MakeTree();
    SetDirEntryHookForTesting([](const std::wstring&, WIN32_FIND_DATAW&) { Record("list"); });
    TDirReader reader;
    reader.Recursive = true;
    reader.FileMask = L"*.*";
    reader.SetDirectory(tree);
    reader.Start();
    reader.Start();
    ASSERT_GE(GEvents.size(), 2u);
    EXPECT_EQ(GEvents[0].What, "process 2");  // PHCM_EXPOSE_PLACEHOLDERS
    EXPECT_EQ(GEvents[1].What, "list");
    EXPECT_EQ(std::count_if(GEvents.begin(), GEvents.end(), [](const TEvent& e) { return e.What != "list"; }), 1);
    EXPECT_EQ(PlaceholderExposureFailure(), L"");
}

// Windows 10 1709: only the thread form; every thread that lists calls it
// before it lists, the read-ahead threads and the walk's own.
TEST_F(PlaceholderModeTest, On1709EveryListingThreadExposesBeforeItLists) {
    SetPlaceholderModeFunctionsForTesting(nullptr, &ThreadForm);
    const std::wstring tree = MakeTree();
    SetAllocationFailureForTesting(&RecordListing);
    TDirReader reader;
    reader.Threads = 3;
    reader.Recursive = true;
    reader.FileMask = L"*.*";
    reader.SetDirectory(tree);
    reader.Start();
    SetAllocationFailureForTesting(nullptr);

    std::lock_guard<std::mutex> lock(GEventsLock);
    std::map<DWORD, std::vector<std::string>> byThread;
    for (const auto& event : GEvents) byThread[event.Thread].push_back(event.What);
    ASSERT_TRUE(byThread.count(::GetCurrentThreadId()));
    EXPECT_EQ(byThread[::GetCurrentThreadId()].front(), "thread 2");
    size_t listingThreads = 0;
    for (const auto& [thread, events] : byThread) {
        EXPECT_EQ(events.front(), "thread 2") << thread;
        EXPECT_EQ(std::count(events.begin(), events.end(), "thread 2"), 1) << thread;
        if (thread != ::GetCurrentThreadId() && events.size() > 1) ++listingThreads;
    }
    EXPECT_GE(listingThreads, 1u);
}

// The second deletion thread exposes too, before it deletes; with the process
// form it has nothing to do.
TEST_F(PlaceholderModeTest, On1709TheDeletionThreadExposesToo) {
    SetPlaceholderModeFunctionsForTesting(nullptr, &ThreadForm);
    ExposePlaceholders();
    TCleanupList list;
    list.AddAction(TCleanupCustomItem::ClassOf<TAllFilesItem>(), true);
    for (int i = 0; i < 100; ++i) list.AddFoundFile(Folder.CreateFile(L"d\\f" + std::to_wstring(i) + L".tmp"), L"None");
    const int kept = TCleanupFileMaskItem::DeletionThreads;
    TCleanupFileMaskItem::DeletionThreads = 2;
    list.SetChecked(0, true);
    list.ExecuteChecked();
    TCleanupFileMaskItem::DeletionThreads = kept;
    std::lock_guard<std::mutex> lock(GEventsLock);
    ASSERT_EQ(GEvents.size(), 2u);
    EXPECT_EQ(GEvents[0].Thread, ::GetCurrentThreadId());
    EXPECT_NE(GEvents[1].Thread, ::GetCurrentThreadId());
    EXPECT_EQ(GEvents[1].What, "thread 2");
    EXPECT_FALSE(FileExists(Folder.Path() + L"d\\f0.tmp"));
}

// Windows 7 and 8, Wine: neither function; nothing is called and nothing fails.
// A failing call is kept, once, for the automatic run's log.
TEST_F(PlaceholderModeTest, AbsentFunctionsAreNoErrorAndAFailureIsKeptOnce) {
    SetPlaceholderModeFunctionsForTesting(nullptr, nullptr);
    ExposePlaceholders();
    ExposePlaceholdersOnThisThread();
    EXPECT_TRUE(GEvents.empty());
    EXPECT_EQ(PlaceholderExposureFailure(), L"");

    SetPlaceholderModeFunctionsForTesting(&ProcessForm, nullptr);
    GAnswer = -3;  // PHCM_ERROR_NO_PEB
    ExposePlaceholders();
    ExposePlaceholders();
    const std::wstring failure = PlaceholderExposureFailure();
    EXPECT_NE(failure.find(L"RtlSetProcessPlaceholderCompatibilityMode"), std::wstring::npos);
    EXPECT_NE(failure.find(L"-3"), std::wstring::npos);
    EXPECT_EQ(GEvents.size(), 1u);

    // The system's own answer under Wine: neither function exists.
    SetPlaceholderModeFunctionsForTesting(nullptr, nullptr, true);
    ExposePlaceholders();
    EXPECT_EQ(PlaceholderExposureFailure(), L"");
}
