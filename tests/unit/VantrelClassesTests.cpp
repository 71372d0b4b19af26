// The action model: what the list offers to which action, protection by age,
// the info lines and the deletion with its progress texts.
#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "engine/VantrelClasses.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// --- Test actions ---

struct TMaskSetup {
    std::wstring Name;
    std::vector<std::wstring> Masks;
    TSmartProtection Smart = TSmartProtection::spSession;
};
TMaskSetup GNextSetup;  // what the next created TTestMaskItem configures

class TTestMaskItem : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override {
        Name = GNextSetup.Name;
        Masks = MakeMaskList(GNextSetup.Masks);
        SmartProtection = GNextSetup.Smart;
    }
};

std::vector<std::wstring> GExecuted;

class TTestSpecialItem : public TCleanupSpecialActionItem {
public:
    void Execute() override {
        TCleanupSpecialActionItem::Execute();
        GExecuted.push_back(Name);
    }

protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override {
        Name = L"特殊操作";
        ProgressText = L"正在执行...";
        FirstInfoLine = L"first";
        SecondInfoLine = L"second";
    }
};

class TRaisingItem : public TCleanupSpecialActionItem {
public:
    void Execute() override { throw EOSError(ERROR_ACCESS_DENIED, L"拒绝访问。"); }

protected:
    void Configure(std::wstring& Name, std::wstring&, std::wstring&, std::wstring&) override { Name = L"会失败的操作"; }
};

TCleanupFileMaskItem& AddMaskAction(TCleanupList& list, TMaskSetup setup, bool defaultChecked = true) {
    GNextSetup = std::move(setup);
    return static_cast<TCleanupFileMaskItem&>(list.AddAction(TCleanupCustomItem::ClassOf<TTestMaskItem>(), defaultChecked));
}

// --- Fixed clock ---

constexpr uint64_t TicksPerSecond = 10000000ULL;
FILETIME GNowUtc;
uint64_t GTicksMs = 3600 * 1000;

uint64_t ToUInt64(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
FILETIME FromUInt64(uint64_t v) { return FILETIME{DWORD(v & 0xFFFFFFFF), DWORD(v >> 32)}; }

TDateTime FixedNow() {
    FILETIME local;
    SYSTEMTIME st;
    ::FileTimeToLocalFileTime(&GNowUtc, &local);
    ::FileTimeToSystemTime(&local, &st);
    return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}
uint64_t FixedTicks() { return GTicksMs; }

class ActionModel : public ::testing::Test {
protected:
    void SetUp() override {
        SYSTEMTIME st{2026, 3, 0, 10, 12, 0, 0, 0};  // 2026-03-10 12:00:00 UTC
        ::SystemTimeToFileTime(&st, &GNowUtc);
        GTicksMs = 3600 * 1000;
        SetClockForTesting(FixedNow, FixedTicks);
        GExecuted.clear();
    }
    void TearDown() override { SetClockForTesting(nullptr, nullptr); }

    // A file last accessed Seconds before "now".
    std::wstring FileAccessedAgo(const std::wstring& name, int64_t seconds) {
        std::wstring path = Folder.CreateFile(name);
        SetLastAccessTime(path, FromUInt64(ToUInt64(GNowUtc) - uint64_t(seconds) * TicksPerSecond));
        return path;
    }

    // Times Seconds before "now" (negative: after it), as the walk hands them over.
    static TFileTimes TimesAgo(int64_t access, int64_t write, int64_t creation) {
        auto ago = [](int64_t seconds) { return FromUInt64(ToUInt64(GNowUtc) - seconds * int64_t(TicksPerSecond)); };
        return TFileTimes{ago(creation), ago(access), ago(write)};
    }

    TTempFolder Folder{L"classes"};
};

constexpr int64_t Day = 86400;

// --- The list: what is offered to whom ---

TEST_F(ActionModel, RecyclerFoldersAndProtectedFilesAreNeverOffered) {
    TCleanupList list;
    auto& all = AddMaskAction(list, {L"all", {L"*"}});
    EXPECT_FALSE(list.AddFoundFile(L"D:\\Recycler\\S-1-5\\x.tmp", L"None"));
    EXPECT_FALSE(list.AddFoundFile(L"c:\\rEcYcLeR\\a.bak", L"None"));
    EXPECT_FALSE(list.AddFoundFile(L"C:\\$Recycle.Bin\\S-1-5-21-1\\$RAB12CD.tmp", L"None"));
    EXPECT_FALSE(list.AddFoundFile(L"d:\\$RECYCLE.BIN\\x.bak", L"None"));
    EXPECT_FALSE(list.AddFoundFile(L"E:\\$recycle.bin\\S-1-5-18\\$I1.tmp", L"None"));
    EXPECT_FALSE(list.AddFoundFile(L"C:\\Setup\\INSTALL.LOG", L"None"));
    EXPECT_FALSE(list.AddFoundFile(L"C:\\setup\\install.log", L"None"));
    EXPECT_FALSE(list.AddFoundFile(
        L"D:\\Documents and Settings\\u\\Application Data\\Microsoft\\Office\\Data\\opa11.bak", L"None"));
    EXPECT_FALSE(list.AddFoundFile(L"C:\\u\\Microsoft\\Office\\Data\\data.bak", L"None"));
    EXPECT_TRUE(all.FoundFiles.empty());

    EXPECT_TRUE(list.IsProtectedFile(L"c:\\x\\Install.Log"));
    EXPECT_FALSE(list.IsProtectedFile(L"c:\\x\\INSTALL.LOG.OLD"));
    EXPECT_FALSE(list.IsProtectedFile(L"c:\\x\\Microsoft\\Office\\Data\\other.bak"));
    EXPECT_EQ(list.ProtectedMasks(),
              L"*\\microsoft\\office\\data\\opa*.bak,*\\microsoft\\office\\data\\data.bak,*\\INSTALL.LOG");
}

TEST_F(ActionModel, OneFileIsTakenByEveryMatchingActionTickedOrNot) {
    TCleanupList list;
    std::wstring file = FileAccessedAgo(L"a.tmp", 30 * Day);
    auto& first = AddMaskAction(list, {L"tmp", {L"*.tmp"}}, true);
    auto& other = AddMaskAction(list, {L"bak", {L"*.bak"}}, true);
    auto& second = AddMaskAction(list, {L"folder", {Folder.Path() + L"*"}}, false);
    list.AddAction(TCleanupCustomItem::ClassOf<TTestSpecialItem>(), false);

    EXPECT_TRUE(list.AddFoundFile(file, L"None"));
    EXPECT_EQ(first.FoundFiles, std::vector<std::wstring>{file});
    EXPECT_EQ(second.FoundFiles, std::vector<std::wstring>{file});
    EXPECT_TRUE(other.FoundFiles.empty());
    EXPECT_FALSE(second.Checked);  // unticked actions collect all the same

    list.ClearFoundFiles();
    EXPECT_TRUE(first.FoundFiles.empty());
    EXPECT_TRUE(second.FoundFiles.empty());
}

// The list offers a name only to the actions whose masks' fixed endings or
// starts it has; whatever it passes over, the masks themselves must refuse.
TEST_F(ActionModel, EveryActionTakesExactlyWhatItsMasksTakeWhateverTheirShape) {
    TCleanupList list;
    std::vector<TCleanupFileMaskItem*> items;
    const std::vector<std::vector<std::wstring>> shapes = {
        {L"*.tmp", L"*.$$$", L"*.~mp"}, {L"*Thumbs.db"},            {L"*\\~$*.doc"},
        {L"*.c"},                       {L"*.[ch]pp"},             {L"*.ba?"},
        {L"C:\\Windows\\Prefetch\\*"},  {L"C:\\Win*"},             {L"C:\\WUTemp\\*", L"C:\\Windows\\KB*.log"},
        {L"?:\\Scandisk.log"},          {L"*\\Real\\History\\*"},  {L"*"},
        {L"c:\\users\\anna\\appdata\\local\\temp\\some deeper folder of the temp\\*"},
        {L"*\u00C9T\u00C9"},            {L"*\U0001F600"},          {L"D:\\x\\exact.name"},
        {L"*\\Ap?\\Real\\*"},         {L"*ab*"}};
    for (size_t i = 0; i < shapes.size(); ++i)
        items.push_back(&AddMaskAction(list, {L"shape" + std::to_wstring(i), shapes[i]}));
    const std::vector<std::wstring> names = {
        L"C:\\a\\b.tmp", L"C:\\a\\B.TMP", L"C:\\a\\b.tmpx", L"C:\\a\\b.$$$", L"x.~MP", L"C:\\thumbs.db", L"C:\\d\\Thumbs.DB",
        L"C:\\d\\~$a.doc", L"C:\\~$d\\a.doc", L"~$a.doc", L"a.c", L"c", L".C", L"C:\\s\\m.cpp", L"C:\\s\\m.hpp",
        L"C:\\s\\m.app", L"z.bak", L"z.BAX", L"z.ba", L"C:\\Windows\\Prefetch\\A.pf", L"c:\\windows\\prefetch",
        L"C:\\Win", L"C:\\", L"C:\\WUTemp\\1", L"C:\\Windows\\KB123.log", L"C:\\Windows\\KB123.lo",
        L"D:\\Scandisk.log", L"D:\\x\\Scandisk.log", L"C:\\u\\Real\\History\\h.dat", L"C:\\u\\Real\\Histor\\h.dat",
        L"C:\\Users\\Anna\\AppData\\Local\\Temp\\Some Deeper Folder of the Temp\\x",
        L"C:\\Users\\Anna\\AppData\\Local\\Temp\\Some Deeper Folder of the Tem", L"C:\\f\\\u00C9T\u00C9",
        L"C:\\f\\\u00E9t\u00E9", L"C:\\f\\\U0001F600", L"D:\\x\\exact.name", L"D:\\X\\EXACT.NAME", L"", L"\\",
        L"C:\\a\\b.TMP\\c.txt", L"C:\\u\\App\\Real\\x", L"C:\\u\\Apx\\REAL\\", L"C:\\u\\Ap\\Real\\x", L"xaby"};
    const TFileTimes old{};
    for (const auto& name : names) {
        list.ClearFoundFiles();
        bool anyTakes = false;
        for (auto* item : items) anyTakes = item->CompiledMasks().MatchesAny(UpperCaseAscii(name)) || anyTakes;
        EXPECT_EQ(list.AddFoundFile(name, L"None", &old), anyTakes) << name;
        for (auto* item : items)
            EXPECT_EQ(!item->FoundFiles.empty(), item->CompiledMasks().MatchesAny(UpperCaseAscii(name)))
                << item->Name << " " << name;
    }

    // An action added later is offered names too; one with a malformed mask
    // still raises for every name its good masks refuse, as its masks do.
    auto& late = AddMaskAction(list, {L"late", {L"*.late", L"[x"}});
    list.ClearFoundFiles();
    EXPECT_TRUE(list.AddFoundFile(L"C:\\a.LATE", L"None", &old));
    EXPECT_EQ(late.FoundFiles.size(), 1u);
    EXPECT_THROW(list.AddFoundFile(L"C:\\a.tmp", L"None", &old), EMaskException);
}

TEST_F(ActionModel, AddActionWiresStatusAndDefaultsAndCheckedFollowsSetChecked) {
    TCleanupList list;
    std::vector<std::pair<TCleanupCustomItem*, std::wstring>> texts;
    list.OnStatus = [&](TCleanupCustomItem* sender, const std::wstring& text) { texts.emplace_back(sender, text); };
    auto& special = list.AddAction(TCleanupCustomItem::ClassOf<TTestSpecialItem>(), true);
    auto& mask = AddMaskAction(list, {L"m", {L"*.x"}}, false);

    EXPECT_TRUE(special.DefaultChecked);
    EXPECT_FALSE(special.Checked);
    EXPECT_FALSE(mask.DefaultChecked);
    EXPECT_EQ(mask.FileProtection, L"");
    EXPECT_EQ(special.Name, L"特殊操作");
    EXPECT_EQ(special.GetState(), TCleanupItemState::csNotCounted);

    list.ExecuteChecked();  // nothing ticked: nothing runs, nothing is said
    EXPECT_TRUE(texts.empty());
    EXPECT_TRUE(GExecuted.empty());

    list.SetChecked(0, true);
    list.ExecuteChecked();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], std::make_pair(&special, std::wstring(L"正在执行...")));
    EXPECT_EQ(texts[1], std::make_pair(&special, std::wstring()));
    EXPECT_EQ(GExecuted, std::vector<std::wstring>{L"特殊操作"});

    EXPECT_THROW(list.SetChecked(2, true), EListError);
    EXPECT_THROW(list.SetChecked(-1, true), EListError);
}

TEST_F(ActionModel, PerformWithoutHandlerRunsSilently) {
    TCleanupList list;
    auto& special = list.AddAction(TCleanupCustomItem::ClassOf<TTestSpecialItem>(), true);
    special.OnStatus = nullptr;
    special.Perform();
    EXPECT_EQ(GExecuted.size(), 1u);
}

// --- Protection by age ---

TEST_F(ActionModel, WeekRuleTakesFilesFromExactlySevenDays) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"w", {L"*.TMP"}, TSmartProtection::spWeek});
    std::wstring young = FileAccessedAgo(L"young.tmp", 7 * Day - 3600);
    std::wstring old = FileAccessedAgo(L"old.tmp", 7 * Day);
    EXPECT_FALSE(action.AcceptFile(young, L"Week"));
    EXPECT_TRUE(action.AcceptFile(old, L"Week"));
    EXPECT_TRUE(action.AcceptFile(young, L"None"));
}

TEST_F(ActionModel, UptimeRuleComparesWholeSeconds) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"u", {L"*.tmp"}});
    GTicksMs = 3600 * 1000 + 999;  // uptime 3600 whole seconds
    std::wstring recent = FileAccessedAgo(L"recent.tmp", 3599);
    std::wstring boundary = FileAccessedAgo(L"boundary.tmp", 3600);
    EXPECT_FALSE(action.AcceptFile(recent, L"Uptime"));
    EXPECT_TRUE(action.AcceptFile(boundary, L"Uptime"));
}

TEST_F(ActionModel, UptimeBeyondTwentyFiveDaysStillProtects) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"u", {L"*.tmp"}});
    GTicksMs = 30ULL * Day * 1000;  // a 32-bit signed millisecond count would be negative by now
    EXPECT_EQ(GetUptimeSeconds(), 30 * Day);
    EXPECT_FALSE(action.AcceptFile(FileAccessedAgo(L"a.tmp", 29 * Day), L"Uptime"));
    EXPECT_TRUE(action.AcceptFile(FileAccessedAgo(L"b.tmp", 31 * Day), L"Uptime"));
}

// Fast Startup: Windows started 30 days ago, the user logged on 2 days ago.
FILETIME GLogonUtc;
bool GLogonKnown = false;
bool FixedLogon(FILETIME& logon) {
    logon = GLogonUtc;
    return GLogonKnown;
}

TEST_F(ActionModel, SessionStartsAtTheLogonWhenWindowsStartedEarlier) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"u", {L"*.tmp"}});
    GTicksMs = 30ULL * Day * 1000;
    GLogonUtc = FromUInt64(ToUInt64(GNowUtc) - 2 * Day * TicksPerSecond);
    GLogonKnown = true;
    SetLogonTimeForTesting(FixedLogon);
    EXPECT_EQ(GetUptimeSeconds(), 2 * Day);
    EXPECT_TRUE(action.AcceptFile(FileAccessedAgo(L"before-logon.tmp", 3 * Day), L"Uptime"));
    EXPECT_FALSE(action.AcceptFile(FileAccessedAgo(L"since-logon.tmp", 2 * Day - 1), L"Uptime"));

    // Logged on before the last start (the clock moved): the start counts.
    GLogonUtc = FromUInt64(ToUInt64(GNowUtc) - 40 * Day * TicksPerSecond);
    EXPECT_EQ(GetUptimeSeconds(), 30 * Day);
    // A logon after now says nothing: the start counts, as when none is known.
    GLogonUtc = FromUInt64(ToUInt64(GNowUtc) + Day * TicksPerSecond);
    EXPECT_EQ(GetUptimeSeconds(), 30 * Day);
    GLogonKnown = false;
    GLogonUtc = FromUInt64(ToUInt64(GNowUtc) - 2 * Day * TicksPerSecond);
    EXPECT_EQ(GetUptimeSeconds(), 30 * Day);
    EXPECT_FALSE(action.AcceptFile(FileAccessedAgo(L"kept.tmp", 3 * Day), L"Uptime"));
}

// The system's own answer (LSA where it tells, the start of Windows otherwise)
// never makes the session longer than Windows has run.
TEST(SessionStart, TheSystemsAnswerIsNoLongerThanTheUptime) {
    const int32_t session = GetUptimeSeconds();
    EXPECT_GE(session, 0);
    EXPECT_LE(static_cast<uint64_t>(session), ::GetTickCount64() / 1000);
}

TEST(SessionStart, TheLaterOfStartAndLogon) {
    const TDateTime now = EncodeDateTime(2026, 3, 10, 12, 0, 0, 0);
    SYSTEMTIME st{2026, 3, 0, 10, 11, 0, 0, 0};  // an hour before, as UTC with no zone bias
    FILETIME logon;
    ::SystemTimeToFileTime(&st, &logon);
    EXPECT_EQ(SessionSeconds(30 * Day, &logon, now, 0), 3600);
    EXPECT_EQ(SessionSeconds(1800, &logon, now, 0), 1800);
    EXPECT_EQ(SessionSeconds(30 * Day, nullptr, now, 0), 30 * Day);
    // Seen from a zone eight hours ahead of UTC, the logon is still an hour old.
    EXPECT_EQ(SessionSeconds(30 * Day, &logon, now + 8.0 / 24, 8 * 3600 * int64_t(TicksPerSecond)), 3600);
    EXPECT_EQ(SessionSeconds(30 * Day, &logon, EncodeDateTime(2026, 3, 10, 10, 0, 0, 0), 0), 30 * Day);

    // Interactive, RemoteInteractive, CachedInteractive, CachedRemoteInteractive count;
    // SYSTEM's (0), Network, Batch, Service, Unlock and NewCredentials do not.
    for (unsigned long type : {2ul, 10ul, 11ul, 12ul}) EXPECT_TRUE(IsScreenLogonType(type)) << type;
    for (unsigned long type : {0ul, 3ul, 4ul, 5ul, 7ul, 9ul}) EXPECT_FALSE(IsScreenLogonType(type)) << type;
}

TEST_F(ActionModel, SmartModeLetsEachActionDecideAndUnknownModesTakeNothing) {
    TCleanupList list;
    auto& session = AddMaskAction(list, {L"s", {L"*.tmp"}, TSmartProtection::spSession});
    auto& week = AddMaskAction(list, {L"w", {L"*.tmp"}, TSmartProtection::spWeek});
    std::wstring file = FileAccessedAgo(L"twoday.tmp", 2 * Day);  // older than the uptime, younger than a week
    EXPECT_TRUE(list.AddFoundFile(file, L"Smart"));
    EXPECT_EQ(session.FoundFiles.size(), 1u);
    EXPECT_TRUE(week.FoundFiles.empty());

    EXPECT_FALSE(list.AddFoundFile(file, L"smart"));
    EXPECT_FALSE(list.AddFoundFile(file, L""));
    EXPECT_FALSE(list.AddFoundFile(file, L"NONE"));
    EXPECT_EQ(session.FoundFiles.size(), 1u);
}

TEST_F(ActionModel, TheWalksTimesAreUsedWhenGiven) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"w", {L"*.tmp"}, TSmartProtection::spWeek});
    std::wstring file = FileAccessedAgo(L"seen.tmp", Day);  // young on disk...
    const TFileTimes seen = TimesAgo(8 * Day, 8 * Day, 8 * Day);
    EXPECT_TRUE(list.AddFoundFile(file, L"Week", &seen));  // ...but the walk saw it eight days old
    EXPECT_FALSE(list.AddFoundFile(file, L"Week"));         // read from the file: one day
    EXPECT_EQ(action.FoundFiles.size(), 1u);
    const TFileTimes recent = TimesAgo(3600, 3600, 3600);
    GTicksMs = 7200 * 1000;
    EXPECT_FALSE(list.AddFoundFile(file, L"Uptime", &recent));  // used this session
}

TEST_F(ActionModel, AgeCountsFromTheLatestOfAccessWriteAndCreation) {
    TCleanupList list;
    auto& week = AddMaskAction(list, {L"w", {L"*.bak"}, TSmartProtection::spWeek});
    auto& session = AddMaskAction(list, {L"s", {L"*.bak"}, TSmartProtection::spSession});
    const std::wstring file = L"C:\\x\\a.bak";  // never read: the walk's times decide
    GTicksMs = 3600 * 1000;
    struct TCase {
        const char* What;
        TFileTimes Times;
        bool ByWeek, BySession;
    } cases[] = {
        {"untouched for weeks", TimesAgo(30 * Day, 30 * Day, 30 * Day), true, true},
        // Access times that the system no longer updates must not age a file written just now.
        {"written a minute ago", TimesAgo(30 * Day, 60, 30 * Day), false, false},
        {"created a minute ago", TimesAgo(30 * Day, 30 * Day, 60), false, false},
        {"read a minute ago", TimesAgo(60, 30 * Day, 30 * Day), false, false},
        {"written two days ago", TimesAgo(30 * Day, 2 * Day, 30 * Day), false, true},
        {"exactly a week", TimesAgo(7 * Day, 7 * Day, 7 * Day), true, true},
        // A stamp in the future counts as that far back, but never ages the file beyond its other times.
        {"written in the future", TimesAgo(60, -30 * Day, 30 * Day), false, false},
    };
    for (const TCase& c : cases) {
        week.FoundFiles.clear();
        session.FoundFiles.clear();
        list.AddFoundFile(file, L"Smart", &c.Times);
        EXPECT_EQ(week.FoundFiles.size(), c.ByWeek ? 1u : 0u) << c.What;
        EXPECT_EQ(session.FoundFiles.size(), c.BySession ? 1u : 0u) << c.What;
    }
}

TEST_F(ActionModel, AFileReadFromDiskIsAgedByItsLatestTime) {
    SetClockForTesting(nullptr, FixedTicks);  // the file's write and creation times are the real ones
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"w", {L"*.bak"}, TSmartProtection::spWeek});
    const std::wstring file = Folder.CreateFile(L"fresh.bak");
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    SetLastAccessTime(file, FromUInt64(ToUInt64(now) - uint64_t(40 * Day) * TicksPerSecond));
    EXPECT_FALSE(list.AddFoundFile(file, L"Week"));
    EXPECT_FALSE(list.AddFoundFile(file, L"Smart"));
    EXPECT_TRUE(action.FoundFiles.empty());
}

TEST_F(ActionModel, AgesKeepTheFileTimesFullPrecision) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"u", {L"*.tmp"}});
    GTicksMs = 3600 * 1000;
    const std::wstring file = L"C:\\x\\a.tmp";
    // 3599.9999 s: one tick short of the uptime. Two-second rounding read it as 3600.
    const uint64_t justShort = ToUInt64(GNowUtc) - 3600 * TicksPerSecond + 1;
    const TFileTimes young{FromUInt64(justShort), FromUInt64(justShort), FromUInt64(justShort)};
    EXPECT_FALSE(list.AddFoundFile(file, L"Uptime", &young));
    const TFileTimes old = TimesAgo(3600, 3600, 3600);
    EXPECT_TRUE(list.AddFoundFile(file, L"Uptime", &old));
    EXPECT_EQ(action.FoundFiles.size(), 1u);
}

TEST_F(ActionModel, VanishedFileIsNotTakenButReadingItsTimeDirectlyStillFails) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"t", {L"*.tmp"}});
    const std::wstring gone = Folder.Path() + L"gone.tmp";
    EXPECT_FALSE(list.AddFoundFile(gone, L"None"));
    EXPECT_TRUE(action.FoundFiles.empty());
    try {
        GetFileLastAccessTime(gone);
        FAIL() << "no error for a missing file";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"无法读取上一次访问文件的时间。\r\n" + gone);
    }
}

TEST_F(ActionModel, FolderMaskCoversSubfolders) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"t", {Folder.Path() + L"TEMP\\*"}});
    std::wstring deep = FileAccessedAgo(L"Temp\\Sub\\x.dat", Day);
    std::wstring beside = FileAccessedAgo(L"Temp2\\x.dat", Day);
    EXPECT_TRUE(list.AddFoundFile(deep, L"None"));
    EXPECT_FALSE(list.AddFoundFile(beside, L"None"));
    EXPECT_EQ(action.FoundFiles, std::vector<std::wstring>{deep});
}

// --- Texts ---

TEST_F(ActionModel, InfoLinesFollowCountAndProtection) {
    TCleanupList list;
    auto& session = AddMaskAction(list, {L"s", {L"*.x"}, TSmartProtection::spSession});
    auto& week = AddMaskAction(list, {L"w", {L"*.x"}, TSmartProtection::spWeek});
    std::wstring text;
    session.GetFirstInfoLine(text);
    EXPECT_EQ(text, L"没有找到文件。");
    EXPECT_EQ(session.GetState(), TCleanupItemState::csNothingFound);
    session.FoundFiles = {L"a"};
    session.GetFirstInfoLine(text);
    EXPECT_EQ(text, L"找到一个文件。");
    EXPECT_EQ(session.GetState(), TCleanupItemState::csFilesFound);
    session.FoundFiles.assign(12, L"a");
    session.GetFirstInfoLine(text);
    EXPECT_EQ(text, L"12 个文件被找到");

    const std::pair<const wchar_t*, std::pair<const wchar_t*, const wchar_t*>> rows[] = {
        {L"None", {L"文件保护: 无", L"文件保护: 无"}},
        {L"Uptime", {L"文件保护: Windows 会话", L"文件保护: Windows 会话"}},
        {L"Week", {L"文件保护: 上一周", L"文件保护: 上一周"}},
        {L"Smart", {L"文件保护: Windows 会话 (智能)", L"文件保护: 上一周 (智能)"}},
        {L"smart", {L"", L""}},
    };
    for (const auto& [mode, expected] : rows) {
        session.FileProtection = week.FileProtection = mode;
        text = L"stale";
        session.GetSecondInfoLine(text);
        EXPECT_EQ(text, expected.first) << mode;
        text = L"stale";
        week.GetSecondInfoLine(text);
        EXPECT_EQ(text, expected.second) << mode;
    }

    session.FileProtection.clear();
    try {
        session.GetSecondInfoLine(text);
        FAIL() << "an unset protection mode must be reported";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), L"TCleanupFileMaskItem.GetSecondInfoLine -> FileProtection not set!");
    }
}

// --- Deletion ---

TEST_F(ActionModel, ExecuteDeletesWithHalfEvenPercentagesAndEmptiesTheList) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"删除备份文件 (*.bak, *.old, *.000)", {L"*.bak"}});
    std::vector<std::wstring> texts;
    list.OnStatus = [&](TCleanupCustomItem*, const std::wstring& text) { texts.push_back(text); };
    for (int i = 0; i < 8; ++i) list.AddFoundFile(FileAccessedAgo(L"f" + std::to_wstring(i) + L".bak", Day), L"None");
    std::wstring readOnly = FileAccessedAgo(L"ro.bak", Day);
    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(action.FoundFiles.size(), 8u);

    std::vector<std::wstring> files = action.FoundFiles;
    list.SetChecked(0, true);
    list.ExecuteChecked();
    const std::vector<std::wstring> expected = {
        L"",  // ProgressText of a file-mask action is empty
        L"删除备份文件 (*.bak, *.old, *.000)  12%", L"删除备份文件 (*.bak, *.old, *.000)  25%",
        L"删除备份文件 (*.bak, *.old, *.000)  38%", L"删除备份文件 (*.bak, *.old, *.000)  50%",
        L"删除备份文件 (*.bak, *.old, *.000)  62%", L"删除备份文件 (*.bak, *.old, *.000)  75%",
        L"删除备份文件 (*.bak, *.old, *.000)  88%", L"删除备份文件 (*.bak, *.old, *.000)  100%", L""};
    EXPECT_EQ(texts, expected);
    for (const auto& f : files) EXPECT_FALSE(FileExists(f)) << "not deleted";
    EXPECT_TRUE(action.FoundFiles.empty());

    // A read-only file goes as well.
    action.FoundFiles = {readOnly};
    action.Execute();
    EXPECT_FALSE(FileExists(readOnly));
}

// A file two actions took goes with the first; the second must not delete the
// name again, or it takes a file made there since, which nobody checked.
TEST_F(ActionModel, FileTakenByTwoActionsIsDeletedOnce) {
    TCleanupList list;
    auto& tmp = AddMaskAction(list, {L"tmp", {L"*.tmp"}});
    auto& folder = AddMaskAction(list, {L"folder", {Folder.Path() + L"*"}});
    const std::wstring file = FileAccessedAgo(L"setup.tmp", 30 * Day);
    const std::wstring other = FileAccessedAgo(L"other.dat", 30 * Day);
    ASSERT_TRUE(list.AddFoundFile(file, L"None"));
    ASSERT_TRUE(list.AddFoundFile(other, L"None"));
    ASSERT_EQ(folder.FoundFiles.size(), 2u);
    list.SetChecked(0, true);
    list.SetChecked(1, true);
    bool remade = false;
    std::vector<std::wstring> texts;
    list.OnStatus = [&](TCleanupCustomItem* sender, const std::wstring& text) {
        if (sender == &folder && !remade) {  // a program writes a new file under the old name
            Folder.CreateFile(L"setup.tmp");
            remade = true;
        }
        if (!text.empty()) texts.push_back(text);
    };
    list.ExecuteChecked();
    EXPECT_TRUE(remade);
    EXPECT_TRUE(FileExists(file)) << "the new file went unchecked";
    EXPECT_FALSE(FileExists(other));
    EXPECT_TRUE(tmp.FoundFiles.empty());
    EXPECT_TRUE(folder.FoundFiles.empty());
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"tmp  100%", L"folder  100%"}));
}

// Without a handler the first action that raises ends the pass (the window then
// shows the error); with one, it hears of each failure and the later actions run.
TEST_F(ActionModel, ActionThatRaisesEndsThePassUnlessTheCallerGoesOn) {
    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "handled" : "not handled");
        GExecuted.clear();
        TCleanupList list;
        AddMaskAction(list, {L"tmp", {L"*.tmp"}});
        list.AddAction(TCleanupCustomItem::ClassOf<TRaisingItem>(), true);
        list.AddAction(TCleanupCustomItem::ClassOf<TTestSpecialItem>(), true);
        const std::wstring file = FileAccessedAgo(L"before.tmp", 30 * Day);
        ASSERT_TRUE(list.AddFoundFile(file, L"None"));
        for (int i = 0; i < list.Count(); ++i) list.SetChecked(i, true);
        if (!goOn) {
            EXPECT_THROW(list.ExecuteChecked(), EOSError);
            EXPECT_TRUE(GExecuted.empty());
        } else {
            std::vector<std::wstring> failures;
            list.ExecuteChecked([&](TCleanupCustomItem& action) {
                try {
                    throw;
                } catch (const Exception& e) {
                    failures.push_back(action.Name + L": " + e.Message());
                }
            });
            EXPECT_EQ(failures, std::vector<std::wstring>{L"会失败的操作: 拒绝访问。"});
            EXPECT_EQ(GExecuted, std::vector<std::wstring>{L"特殊操作"});
        }
        EXPECT_FALSE(FileExists(file));
    }
}

TEST_F(ActionModel, CheckedFoundFilesNamesEachFileOfTheTickedActionsOnce) {
    TCleanupList list;
    AddMaskAction(list, {L"tmp", {L"*.tmp"}});
    AddMaskAction(list, {L"a and b", {Folder.Path() + L"a.*", Folder.Path() + L"b.*"}});
    AddMaskAction(list, {L"bak", {L"*.bak"}});
    const std::wstring shared = FileAccessedAgo(L"a.tmp", 30 * Day);
    const std::wstring own = FileAccessedAgo(L"b.dat", 30 * Day);
    const std::wstring unticked = FileAccessedAgo(L"c.bak", 30 * Day);
    for (const auto& file : {shared, own, unticked}) ASSERT_TRUE(list.AddFoundFile(file, L"None"));
    list.SetChecked(0, true);
    list.SetChecked(1, true);
    list.SetChecked(2, false);
    std::vector<std::wstring> files = list.CheckedFoundFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{shared, own}));
}

// Under Wine a folder can hold names that differ only in case, and a name whose
// file is gone opens its twin. Run by tests/helpers/case_twins.sh, which makes
// ro.bak with a read-only RO.BAK and dup.tmp with DUP.TMP; only the lower-case
// files may go.
TEST_F(ActionModel, NeverDeletesACaseTwin) {
    wchar_t base[MAX_PATH];
    if (::GetEnvironmentVariableW(L"VT_CASE_TWINS", base, MAX_PATH) == 0) GTEST_SKIP() << "run by case_twins.sh";
    const std::wstring folder = std::wstring(base) + L"\\";
    TCleanupList list;
    auto& backups = AddMaskAction(list, {L"bak", {L"*.bak"}});
    auto& tmp = AddMaskAction(list, {L"tmp", {L"*.tmp"}});
    auto& all = AddMaskAction(list, {L"folder", {folder + L"*"}});
    backups.FoundFiles = {folder + L"ro.bak"};
    tmp.FoundFiles = {folder + L"dup.tmp"};
    all.FoundFiles = {folder + L"dup.tmp"};
    for (int i = 0; i < 3; ++i) list.SetChecked(i, true);
    list.ExecuteChecked();

    std::vector<std::wstring> left;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if (data.cFileName[0] != L'.') left.push_back(data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::wstring>{L"DUP.TMP", L"RO.BAK"}));
}

TEST_F(ActionModel, ExecutePassesOverFilesItCannotDeleteAndStillEmptiesTheList) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"held", {L"*.tmp"}});
    std::wstring held = FileAccessedAgo(L"held.tmp", Day);
    std::wstring free = FileAccessedAgo(L"free.tmp", Day);
    HANDLE lock = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> texts;
    action.OnStatus = [&](TCleanupCustomItem*, const std::wstring& text) { texts.push_back(text); };
    action.FoundFiles = {held, free, Folder.Path() + L"already-gone.tmp"};
    action.Execute();
    ::CloseHandle(lock);
    EXPECT_TRUE(FileExists(held));
    EXPECT_FALSE(FileExists(free));
    EXPECT_TRUE(action.FoundFiles.empty());
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"held  33%", L"held  67%", L"held  100%"}));

    texts.clear();
    action.Execute();  // nothing found: nothing said
    EXPECT_TRUE(texts.empty());
}

TEST_F(ActionModel, LongPathsAreReadAndDeleted) {
    TCleanupList list;
    auto& action = AddMaskAction(list, {L"long", {L"*.TMP"}});
    std::wstring deep;
    for (int i = 0; i < 12; ++i) deep += L"folder-with-a-long-name-" + std::to_wstring(i) + L"\\";
    std::wstring file = FileAccessedAgo(deep + L"x.tmp", 30 * Day);
    ASSERT_GT(file.size(), 260u);
    EXPECT_TRUE(list.AddFoundFile(file, L"Week"));
    ::SetFileAttributesW((L"\\\\?\\" + file).c_str(), FILE_ATTRIBUTE_READONLY);
    action.Execute();
    EXPECT_FALSE(FileExists(file));
}

}  // namespace

// --- Sizes: what the actions would free and what a cleanup freed ---

namespace {

// Makes Path Size bytes long without writing them (a sparse file where the file system can).
void SetFileSize(const std::wstring& path, uint64_t size) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    EXPECT_TRUE(::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file));
    ::CloseHandle(file);
}

constexpr uint64_t FiveGB = 5ull << 30;

}  // namespace

TEST_F(ActionModel, FoundSizesComeFromTheWalkAndTheTickedTotalCountsASharedFileOnce) {
    TCleanupList list;
    auto& tmp = AddMaskAction(list, {L"tmp", {L"*.tmp"}});
    auto& folder = AddMaskAction(list, {L"folder", {Folder.Path() + L"*"}});
    auto& logs = AddMaskAction(list, {L"logs", {L"*.log"}});
    // The walk's sizes are kept as they come, above 4 GB too; a file offered
    // without them is looked at once.
    TFileTimes walked = TimesAgo(30 * Day, 30 * Day, 30 * Day);
    walked.Size = FiveGB + 3;
    ASSERT_TRUE(list.AddFoundFile(Folder.Path() + L"big.tmp", L"None", &walked));  // tmp and folder
    const std::wstring small = Folder.CreateFile(L"small.dat", 1000);            // folder only
    ASSERT_TRUE(list.AddFoundFile(small, L"None"));
    walked.Size = 7;
    ASSERT_TRUE(list.AddFoundFile(L"D:\\elsewhere\\x.log", L"None", &walked));    // logs only
    EXPECT_EQ(tmp.FoundFiles.TotalSize(), FiveGB + 3);
    EXPECT_EQ(folder.FoundFiles.TotalSize(), FiveGB + 3 + 1000);
    EXPECT_EQ(folder.FoundFiles.Size(1), 1000u);

    const auto tick = [&](bool a, bool b, bool c) {
        list.SetChecked(0, a);
        list.SetChecked(1, b);
        list.SetChecked(2, c);
        return list.CheckedFoundBytes();
    };
    EXPECT_EQ(tick(true, true, true), FiveGB + 3 + 1000 + 7);
    EXPECT_EQ(tick(true, false, false), FiveGB + 3);
    EXPECT_EQ(tick(false, true, true), FiveGB + 3 + 1000 + 7);
    EXPECT_EQ(tick(false, false, false), 0u);

    // The detail window's cleanup of one action takes its files out of every list.
    tick(true, true, true);
    list.PerformAlone(tmp);
    EXPECT_EQ(list.CheckedFoundBytes(), 1000u + 7);
    list.ClearFoundFiles();
    EXPECT_EQ(list.CheckedFoundBytes(), 0u);
    (void)logs;
}

TEST_F(ActionModel, CleanupCountsTheBytesOfWhatItDeletedEachFileOnce) {
    TCleanupList list;
    auto& tmp = AddMaskAction(list, {L"tmp", {L"*.tmp"}});
    auto& folder = AddMaskAction(list, {L"folder", {Folder.Path() + L"*"}});
    const std::wstring big = Folder.CreateFile(L"big.tmp", 0);
    SetFileSize(big, FiveGB);
    const std::wstring linked = Folder.CreateFile(L"linked.dat", 300);
    const std::wstring link = Folder.Path() + L"link.dat";
    ASSERT_TRUE(::CreateHardLinkW(link.c_str(), linked.c_str(), nullptr));
    const std::wstring held = Folder.CreateFile(L"held.dat", 50);
    // A file whose other name nobody found: deleting this name frees nothing.
    const std::wstring lone = Folder.CreateFile(L"lone.dat", 70);
    const std::wstring loneLink = Folder.CreateFolder(L"kept") + L"lone.dat";
    ASSERT_TRUE(::CreateHardLinkW(loneLink.c_str(), lone.c_str(), nullptr));
    for (const auto& file : {big, linked, link, held, lone}) ASSERT_TRUE(list.AddFoundFile(file, L"None"));
    EXPECT_EQ(tmp.FoundFiles.size(), 1u);
    ASSERT_EQ(folder.FoundFiles.size(), 5u);
    EXPECT_EQ(folder.FoundFiles.Size(0), FiveGB);
    list.SetChecked(0, true);
    list.SetChecked(1, true);

    HANDLE lock = ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    list.ExecuteChecked();
    ::CloseHandle(lock);
    EXPECT_FALSE(FileExists(big));
    EXPECT_FALSE(FileExists(linked));
    EXPECT_FALSE(FileExists(link));
    EXPECT_TRUE(FileExists(held));
    EXPECT_FALSE(FileExists(lone));
    EXPECT_TRUE(FileExists(loneLink));
    // The big file went with the first action; its entry in the second list was
    // dropped before that action ran. Two names of one file: their bytes once.
    EXPECT_EQ(tmp.Outcome.Deleted, 1);
    EXPECT_EQ(tmp.Outcome.Bytes, FiveGB);
    EXPECT_EQ(folder.Outcome.Deleted, 3);
    EXPECT_EQ(folder.Outcome.Bytes, 300u);
    EXPECT_EQ(folder.Outcome.NotDeleted, 1);
    const TCleanupOutcome sum = list.CheckedOutcome();
    EXPECT_EQ(sum.Deleted, 4);
    EXPECT_EQ(sum.Bytes, FiveGB + 300);
    EXPECT_EQ(sum.NotDeleted, 1);
}

TEST(SharedNames, AFileCountsOnceWhenAsManyOfItsNamesWentAsAnyHandleSaw) {
    const auto name = [](uint64_t index, uint32_t links, uint64_t size) { return TDeletedFile{size, links, 7, index}; };
    // Two names deleted at the same time, each handle seeing both: freed, once.
    EXPECT_EQ(BytesFreedBySharedNames({name(1, 2, 100), name(1, 2, 100)}), 100u);
    // One after another: the second saw one name and counted for itself.
    EXPECT_EQ(BytesFreedBySharedNames({name(1, 2, 100)}), 0u);
    // Three names, two of them found: a name stays, nothing is freed, whatever the timing.
    EXPECT_EQ(BytesFreedBySharedNames({name(1, 3, 100), name(1, 3, 100)}), 0u);
    EXPECT_EQ(BytesFreedBySharedNames({name(1, 3, 100), name(1, 2, 100)}), 0u);
    EXPECT_EQ(BytesFreedBySharedNames({name(1, 3, 100), name(1, 3, 100), name(1, 3, 100)}), 100u);
    // Files told apart by volume and index; a name without either is not counted.
    EXPECT_EQ(BytesFreedBySharedNames({name(1, 2, 100), name(2, 2, 40), name(1, 2, 100), name(2, 2, 40)}), 140u);
    TDeletedFile other = name(1, 2, 5);
    other.Volume = 8;
    EXPECT_EQ(BytesFreedBySharedNames({name(1, 2, 100), other}), 0u);
    EXPECT_EQ(BytesFreedBySharedNames({TDeletedFile{9, 2, 0, 0}, TDeletedFile{9, 2, 0, 0}}), 0u);
}

// A long found list is deleted by two threads at once. Whatever the timing,
// what it deletes, what it counts and the status texts must be those of one
// thread: both runs get the same kinds of files, side by side in the list.
TEST_F(ActionModel, TwoThreadsDeleteAndCountWhatOneThreadDoes) {
    struct TRun {
        TCleanupOutcome Outcome;
        std::vector<std::wstring> Left;
        std::vector<std::wstring> Statuses;
    };
    const auto run = [&](int threads) {
        const std::wstring dir = Folder.CreateFolder(L"threads" + std::to_wstring(threads));
        const std::wstring kept = Folder.CreateFolder(L"kept" + std::to_wstring(threads));
        TCleanupList list;
        auto& action = AddMaskAction(list, {L"all", {dir + L"*"}});
        std::vector<HANDLE> locks;
        for (int i = 0; i < 400; ++i) {
            const std::wstring file = Folder.CreateFile(L"threads" + std::to_wstring(threads) + L"\\f" +
                                                        std::to_wstring(i) + L".tmp", 10 + i);
            EXPECT_TRUE(list.AddFoundFile(file, L"None"));
            if (i % 10 == 1) {
                // A second name, found right after the first.
                const std::wstring second = dir + L"g" + std::to_wstring(i) + L".tmp";
                EXPECT_TRUE(::CreateHardLinkW(second.c_str(), file.c_str(), nullptr));
                EXPECT_TRUE(list.AddFoundFile(second, L"None"));
            } else if (i % 10 == 3) {
                // A second found name and a third nobody found: nothing is freed.
                const std::wstring second = dir + L"g" + std::to_wstring(i) + L".tmp";
                const std::wstring third = kept + L"h" + std::to_wstring(i) + L".tmp";
                EXPECT_TRUE(::CreateHardLinkW(second.c_str(), file.c_str(), nullptr));
                EXPECT_TRUE(::CreateHardLinkW(third.c_str(), file.c_str(), nullptr));
                EXPECT_TRUE(list.AddFoundFile(second, L"None"));
            } else if (i % 50 == 5) {
                locks.push_back(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                              nullptr));
            } else if (i % 50 == 7) {
                ::DeleteFileW(file.c_str());  // gone since it was found
            } else if (i % 50 == 9) {
                ::DeleteFileW(file.c_str());  // and a folder in its place
                Folder.CreateFolder(L"threads" + std::to_wstring(threads) + L"\\f" + std::to_wstring(i) + L".tmp\\inner");
            }
        }
        TRun result;
        action.OnStatus = [&](TCleanupCustomItem*, const std::wstring& text) { result.Statuses.push_back(text); };
        const int kept2 = TCleanupFileMaskItem::DeletionThreads;
        TCleanupFileMaskItem::DeletionThreads = threads;
        list.SetChecked(0, true);
        list.ExecuteChecked();
        TCleanupFileMaskItem::DeletionThreads = kept2;
        for (HANDLE lock : locks) ::CloseHandle(lock);
        result.Outcome = action.Outcome;
        WIN32_FIND_DATAW data;
        HANDLE find = ::FindFirstFileW((dir + L"*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (data.cFileName[0] != L'.') result.Left.push_back(data.cFileName);
            } while (::FindNextFileW(find, &data));
            ::FindClose(find);
        }
        std::sort(result.Left.begin(), result.Left.end());
        return result;
    };
    const TRun one = run(1), two = run(2);
    EXPECT_EQ(one.Outcome.Deleted, 400 - 8 - 16 + 80);  // 80 second names; 8 locked, 16 gone or swapped
    EXPECT_EQ(one.Outcome.NotDeleted, 8 + 8);  // the locked files and the folders
    EXPECT_EQ(two.Outcome.Deleted, one.Outcome.Deleted);
    EXPECT_EQ(two.Outcome.Bytes, one.Outcome.Bytes);
    EXPECT_EQ(two.Outcome.NotDeleted, one.Outcome.NotDeleted);
    EXPECT_EQ(two.Left, one.Left);
    ASSERT_EQ(one.Statuses.size(), two.Statuses.size());
    EXPECT_EQ(two.Statuses, one.Statuses);
    // The third names keep their files.
    uint64_t bytes = 0;
    for (int i = 0; i < 400; ++i) {
        const bool held = i % 10 == 3 || (i % 50 == 5) || i % 50 == 7 || i % 50 == 9;
        if (!held) bytes += 10 + i;
    }
    EXPECT_EQ(one.Outcome.Bytes, bytes);
}
