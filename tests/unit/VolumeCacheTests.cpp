// Windows' disk cleanup handlers, driven through their hosts against the
// stand-in handler (tests/helpers/VolumeCacheStandIn.cpp): discovery, flags and
// return codes, sizes with their limit, Stop, purge with its progress and
// outcome, and handlers that crash, hang or need an administrator.
#include "catalogue/VolumeCacheAction.h"
#include "catalogue/VolumeCacheProtocol.h"
#include "platform/MessagePipe.h"
#include "settings/VolumeCacheTicks.h"
#include "support/TempFolder.h"
#include "support/VolumeCacheStandIns.h"

#include <emptyvc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

std::unique_ptr<TCleanupVolumeCacheItem> NewItem() {
    auto item = TCleanupCustomItem::ClassOf<TCleanupVolumeCacheItem>().Create();
    return std::unique_ptr<TCleanupVolumeCacheItem>(static_cast<TCleanupVolumeCacheItem*>(item.release()));
}

// Waits for the scan to end; a scan is bounded by the limit of each handler.
void WaitForScan(TCleanupVolumeCacheItem& item) {
    for (int i = 0; i < 600 && item.Busy(); ++i) ::Sleep(50);
}

const TVolumeCacheHandler* Find(const std::vector<TVolumeCacheHandler>& handlers, const std::wstring& key) {
    for (const auto& h : handlers)
        if (h.KeyName == key) return &h;
    return nullptr;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

class ElevationAnswer {
public:
    explicit ElevationAnswer(bool elevated) : FOld(ProcessIsElevated()) {
        ProcessIsElevated() = [elevated] { return elevated; };
    }
    ~ElevationAnswer() { ProcessIsElevated() = FOld; }

private:
    std::function<bool()> FOld;
};

}  // namespace

TEST(VolumeCacheHandlers, EveryFlagAndAnswerIsHonouredAndDeactivateAlwaysFollows) {
    ElevationAnswer elevated(true);
    TVolumeCacheStandIns standIns;
    TTempFolder files(L"vc-flags");
    const std::wstring log = files.Path() + L"calls.log";
    files.CreateFile(L"normal\\a.tmp", 1000);
    files.CreateFile(L"normal\\b.tmp", 2000);
    files.CreateFile(L"second\\c.tmp", 500);
    standIns.Add(L"Normal", L"normal", files.Path() + L"normal", log, EVCF_ENABLEBYDEFAULT | EVCF_HASSETTINGS, 300);
    standIns.SetValue(L"Normal", L"StandInDisplay", L"处理程序自己的名称");
    standIns.Add(L"Zero", L"zero", L"", log);
    standIns.Add(L"Nothing", L"sfalse", L"", log);
    standIns.Add(L"Broken", L"efail", L"", log);
    standIns.Add(L"Second", L"normal", files.Path() + L"second", log, EVCF_ENABLEBYDEFAULT, 100,
                 VT_STANDIN_V2ONLY_CLSID);
    standIns.SetValue(L"Second", L"Display", L"@" + standIns.Dll() + L",-101");
    standIns.SetValue(L"Second", L"PropertyBag", VT_STANDIN_BAG_CLSID);
    standIns.Add(L"First", L"normal", L"", log, 0, 100, VT_STANDIN_V1ONLY_CLSID);
    standIns.Add(L"DownloadsFolder", L"normal", L"", log, EVCF_ENABLEBYDEFAULT);
    standIns.Add(L"Recycle Bin", L"normal", L"", log, EVCF_ENABLEBYDEFAULT);
    standIns.Add(L"Unregistered", L"normal", L"", log, 0, 1, L"{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C10FF}");

    auto item = NewItem();
    item->StartScan({L"C:\\"});
    WaitForScan(*item);
    const auto handlers = item->Handlers();
    EXPECT_EQ(Find(handlers, L"Recycle Bin"), nullptr) << "Vantrel empties the bin itself";
    ASSERT_EQ(handlers.size(), 8u);
    const auto* unregistered = Find(handlers, L"Unregistered");
    EXPECT_TRUE(unregistered->Greyed());
    EXPECT_EQ(unregistered->Failure.rfind(L"无法创建: 0x80040154", 0), 0u) << unregistered->Failure;
    EXPECT_EQ(handlers[0].KeyName, L"Normal") << "the highest Priority first";

    const auto* normal = Find(handlers, L"Normal");
    EXPECT_EQ(normal->TotalSize(), 3000u);
    EXPECT_EQ(normal->DisplayName(), L"处理程序自己的名称") << "the handler's own name wins";
    EXPECT_TRUE(normal->Checked) << "EVCF_ENABLEBYDEFAULT";
    EXPECT_TRUE(normal->Flags & EVCF_HASSETTINGS);
    EXPECT_FALSE(Find(handlers, L"Zero")->Listed()) << "0 bytes with EVCF_DONTSHOWIFZERO";
    EXPECT_FALSE(Find(handlers, L"Nothing")->Listed()) << "S_FALSE";
    const auto* broken = Find(handlers, L"Broken");
    EXPECT_TRUE(broken->Listed() && broken->Greyed());
    EXPECT_TRUE(Contains(broken->Failure, L"0x80004005")) << broken->Failure;
    const auto* second = Find(handlers, L"Second");
    EXPECT_EQ(second->DisplayName(), L"替身 第二版处理程序") << "the indirect string from the resource DLL";
    EXPECT_EQ(second->DescriptionText(), VT_STANDIN_BAG_DESCRIPTION) << "the property bag's";
    EXPECT_EQ(second->TotalSize(), 500u);
    EXPECT_EQ(Find(handlers, L"First")->TotalSize(), 0u);
    const auto* downloads = Find(handlers, L"DownloadsFolder");
    EXPECT_TRUE(downloads->HoldsUserFiles());
    EXPECT_FALSE(downloads->Checked) << "the user's own files never start ticked";

    const std::wstring calls = TVolumeCacheStandIns::ReadLog(log);
    EXPECT_TRUE(Contains(calls, L"InitializeEx Second C:\\")) << "IEmptyVolumeCache2 is preferred, with its key name";
    EXPECT_TRUE(Contains(calls, L"Initialize C:\\")) << "IEmptyVolumeCache alone is initialised too";
    // Every handler that was initialised (all but the one that failed) was deactivated.
    size_t initialised = 0, deactivated = 0;
    for (size_t at = 0; (at = calls.find(L"Initialize", at)) != std::wstring::npos; ++at) ++initialised;
    for (size_t at = 0; (at = calls.find(L"Deactivate", at)) != std::wstring::npos; ++at) ++deactivated;
    EXPECT_EQ(deactivated, initialised - 1) << calls;
    EXPECT_EQ(RunningVolumeCacheHosts(), 0);
}

TEST(VolumeCacheHandlers, ASlowOrHungHandlerIsNotCountedPastItsLimitAndTheOthersStillAre) {
    ElevationAnswer elevated(true);
    TVolumeCacheStandIns standIns(1500);
    TTempFolder files(L"vc-slow");
    files.CreateFile(L"normal\\a.tmp", 1234);
    standIns.Add(L"Slow", L"slow", L"", L"", 0, 300);
    standIns.Add(L"Hung", L"hang", L"", L"", 0, 200);
    standIns.Add(L"Normal", L"normal", files.Path() + L"normal", L"", 0, 100);
    auto item = NewItem();
    const auto start = std::chrono::steady_clock::now();
    item->StartScan({L"C:\\"});
    WaitForScan(*item);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto handlers = item->Handlers();
    for (const wchar_t* key : {L"Slow", L"Hung"}) {
        const auto* handler = Find(handlers, key);
        EXPECT_TRUE(handler->AnyNotCounted()) << key;
        EXPECT_TRUE(handler->Failure.empty()) << key << ": " << handler->Failure;
        EXPECT_EQ(VolumeCacheSizesText(*handler), L"C: 未计算");
    }
    EXPECT_EQ(Find(handlers, L"Normal")->TotalSize(), 1234u);
    EXPECT_LT(seconds, 8.0);
    EXPECT_EQ(RunningVolumeCacheHosts(), 0);
}

TEST(VolumeCacheHandlers, StopEndsAScanWithin200Milliseconds) {
    ElevationAnswer elevated(true);
    TVolumeCacheStandIns standIns(60000);
    TTempFolder files(L"vc-stop");
    const std::wstring log = files.Path() + L"calls.log";
    standIns.Add(L"Slow", L"slow", L"", log);
    standIns.Add(L"Hung", L"hang", L"", log, 0, 50);
    auto item = NewItem();
    item->StartScan({L"C:\\"});
    // The handler is at work once it has said so in its log.
    for (int i = 0; i < 200 && !Contains(TVolumeCacheStandIns::ReadLog(log), L"GetSpaceUsed"); ++i) ::Sleep(25);
    ASSERT_TRUE(Contains(TVolumeCacheStandIns::ReadLog(log), L"GetSpaceUsed"));
    const auto start = std::chrono::steady_clock::now();
    item->Stop();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 200.0);
    EXPECT_FALSE(item->Busy());
    EXPECT_EQ(RunningVolumeCacheHosts(), 0);
    EXPECT_TRUE(Contains(TVolumeCacheStandIns::ReadLog(log), L"GetSpaceUsed aborted")) << "E_ABORT from ScanProgress";
    EXPECT_TRUE(Find(item->Handlers(), L"Hung")->AnyNotCounted()) << "never started: not counted";
}

TEST(VolumeCacheHandlers, PurgeDeletesTheHandlersOwnFilesWithProgressAndLogsFreedBesideTheEstimate) {
    ElevationAnswer elevated(true);
    TVolumeCacheStandIns standIns;
    TTempFolder files(L"vc-purge");
    for (int i = 0; i < 4; ++i) files.CreateFile(L"mine\\" + std::to_wstring(i) + L".tmp", 100000);
    const std::wstring other = files.CreateFile(L"other\\keep.tmp", 100000);
    standIns.Add(L"Mine", L"slowpurge", files.Path() + L"mine", L"", EVCF_ENABLEBYDEFAULT);
    standIns.Add(L"Unticked", L"normal", files.Path() + L"other", L"");
    auto item = NewItem();
    item->StartScan({L"C:\\"});
    WaitForScan(*item);
    item->Checked = true;
    std::vector<std::wstring> statuses;
    item->OnStatus = [&](TCleanupCustomItem*, const std::wstring& text) { statuses.push_back(text); };
    item->Perform();
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(FileExists(files.Path() + L"mine\\" + std::to_wstring(i) + L".tmp"));
    EXPECT_TRUE(FileExists(other)) << "an unticked handler does nothing";
    bool percent = false;
    for (const auto& s : statuses) percent = percent || (s.rfind(L"正在清理 Mine …  ", 0) == 0 && s.back() == L'%');
    EXPECT_TRUE(percent) << "PurgeProgress drives the status line";
    const auto lines = item->OutcomeLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].rfind(L"Windows 系统文件 \"Mine\" (C:): 释放了 ", 0) == 0) << lines[0];
    EXPECT_TRUE(Contains(lines[0], L", 处理程序估计 400000 字节。")) << lines[0];
}

TEST(VolumeCacheHandlers, ACrashOrHangInPurgeIsReportedAndTheNextHandlerStillRuns) {
    ElevationAnswer elevated(true);
    TVolumeCacheStandIns standIns(1500);
    TTempFolder files(L"vc-crash");
    const std::wstring log = files.Path() + L"calls.log";
    files.CreateFile(L"crash\\a.tmp", 100);
    files.CreateFile(L"after\\b.tmp", 100);
    standIns.Add(L"Crash", L"crash", files.Path() + L"crash", L"", EVCF_ENABLEBYDEFAULT, 300);
    standIns.Add(L"Hung", L"hang", L"", L"", EVCF_ENABLEBYDEFAULT, 200);
    standIns.Add(L"After", L"normal", files.Path() + L"after", log, EVCF_ENABLEBYDEFAULT, 100);
    auto item = NewItem();
    item->StartScan({L"C:\\"});
    WaitForScan(*item);
    std::vector<std::wstring> failures;
    item->OnFailure = [&](const std::wstring& message) { failures.push_back(message); };
    item->Checked = true;
    item->Perform();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_TRUE(Contains(failures[0], L"\"Crash\" (C:): 处理程序崩溃 (异常代码 0xC0000005)")) << failures[0];
    EXPECT_TRUE(Contains(failures[1], L"\"Hung\" (C:): 处理程序在 2 秒内没有响应, 已终止")) << failures[1];
    EXPECT_FALSE(FileExists(files.Path() + L"after\\b.tmp")) << "the handler after them still ran";
    EXPECT_TRUE(Contains(TVolumeCacheStandIns::ReadLog(log), L"Purge\r\nDeactivate"));
    EXPECT_EQ(item->OutcomeLogLines().size(), 1u);
    EXPECT_EQ(RunningVolumeCacheHosts(), 0);
}

TEST(VolumeCacheHandlers, AHandlerHonouringEAbortFromPurgeProgressStopsAndIsDeactivated) {
    ElevationAnswer elevated(true);
    TVolumeCacheStandIns standIns;
    TTempFolder files(L"vc-abort");
    const std::wstring log = files.Path() + L"calls.log";
    for (int i = 0; i < 20; ++i) files.CreateFile(L"mine\\" + std::to_wstring(i) + L".tmp", 10);
    standIns.Add(L"Mine", L"slowpurge", files.Path() + L"mine", log, EVCF_ENABLEBYDEFAULT);
    auto item = NewItem();
    item->StartScan({L"C:\\"});
    WaitForScan(*item);
    item->Checked = true;
    std::vector<std::wstring> failures;
    item->OnFailure = [&](const std::wstring& message) { failures.push_back(message); };
    // Stopped as soon as the first progress shows, as closing the window does.
    item->OnStatus = [&](TCleanupCustomItem*, const std::wstring& text) {
        if (Contains(text, L"%")) item->Stop();
    };
    item->Perform();
    const std::wstring calls = TVolumeCacheStandIns::ReadLog(log);
    EXPECT_TRUE(Contains(calls, L"Purge aborted\r\nDeactivate")) << calls;
    EXPECT_TRUE(FileExists(files.Path() + L"mine\\19.tmp"));
    EXPECT_TRUE(failures.empty()) << "a stop is no failure";
}

TEST(VolumeCacheHandlers, HandlersThatNeedAnAdministratorAreGreyedUnelevatedAndNeverRun) {
    EXPECT_TRUE(VolumeCacheHandlerNeedsAdministrator(L"Update Cleanup"));
    EXPECT_TRUE(VolumeCacheHandlerNeedsAdministrator(L"previous installations"));
    EXPECT_FALSE(VolumeCacheHandlerNeedsAdministrator(L"Thumbnail Cache"));
    ElevationAnswer standard(false);
    TVolumeCacheStandIns standIns;
    TTempFolder files(L"vc-admin");
    const std::wstring log = files.Path() + L"calls.log";
    standIns.Add(L"Update Cleanup", L"normal", L"", log, EVCF_ENABLEBYDEFAULT);
    auto item = NewItem();
    item->StartScan({L"C:\\"});
    WaitForScan(*item);
    const auto handlers = item->Handlers();
    ASSERT_EQ(handlers.size(), 1u);
    EXPECT_TRUE(handlers[0].NeedsAdministrator && handlers[0].Greyed() && handlers[0].Listed());
    EXPECT_EQ(TVolumeCacheStandIns::ReadLog(log), L"") << "not even created";
    EXPECT_EQ(item->AdministratorLogLine(), L"Windows 系统文件: 以下项目需要管理员权限, 没有运行: Update Cleanup。");
}

TEST(VolumeCacheHost, EndsWhenItsPipeClosesAndSaysNothingWithoutOne) {
    TVolumeCacheStandIns standIns;
    const std::wstring name = L"\\\\.\\pipe\\Vantrel-volumecache-test-" + std::to_wstring(::GetCurrentProcessId());
    TMessagePipe pipe;
    ASSERT_TRUE(pipe.Create(name));
    std::wstring commandLine = L"\"" + VolumeCacheHostProgram() + L"\" /volumecache-host " + name;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(VolumeCacheHostProgram().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &startup, &info));
    THandle process(info.hProcess), thread(info.hThread);
    ASSERT_EQ(pipe.WaitConnected({process.Get()}, 10000), TMessagePipe::TWait::Message);
    pipe.Close();  // as when the parent is killed
    EXPECT_EQ(::WaitForSingleObject(process.Get(), 5000), WAIT_OBJECT_0);
}

TEST(VolumeCacheTicks, AreKeptByKeyNameBesideThoseOfHandlersNotRegisteredNow) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    struct TUninit {
        ~TUninit() { ::CoUninitialize(); }
    } uninit;
    std::wstring error;
    TTempFolder folder(L"vc-ticks");
    const std::wstring file = folder.Path() + L"Vantrel.cfg";
    {
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const char text[] =
            "<?xml version=\"1.0\"?><VantrelSettings><VolumeCacheItems>"
            "<VolumeCacheItem Name=\"Gone\" Enabled=\"True\"/><VolumeCacheItem Name=\"Here\" Enabled=\"True\"/>"
            "<VolumeCacheItem Name=\"HERE\" Enabled=\"False\"/></VolumeCacheItems></VantrelSettings>";
        DWORD written = 0;
        ::WriteFile(h, text, sizeof(text) - 1, &written, nullptr);
        ::CloseHandle(h);
    }
    TXMLVantrelSettingsType settings;
    try {
        settings = OpenVantrelSettings(file, error);
    } catch (const Exception& e) {
        FAIL() << std::string(e.Message().begin(), e.Message().end());
    }
    ASSERT_EQ(error, L"");
    const auto ticks = LoadVolumeCacheTicks(settings);
    ASSERT_EQ(ticks.size(), 2u);
    EXPECT_EQ(ticks[1], std::make_pair(std::wstring(L"Here"), true));
    TVolumeCacheHandler here, fresh;
    here.KeyName = L"Here";
    here.TickKnown = true;
    here.Checked = false;
    fresh.KeyName = L"Fresh";  // never scanned, never ticked: nothing to keep
    StoreVolumeCacheTicks(settings, {here, fresh});
    const std::string saved = settings.SaveToUtf8();
    EXPECT_NE(saved.find("<VolumeCacheItem Name=\"Gone\" Enabled=\"True\"/>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<VolumeCacheItem Name=\"Here\" Enabled=\"False\"/>"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Fresh"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("HERE"), std::string::npos) << saved;
}

TEST(VolumeCacheHandlers, TheUsersOwnFilesAreKnownByKeyAndByWhatTheHandlerSays) {
    TVolumeCacheHandler handler;
    handler.KeyName = L"Thumbnail Cache";
    handler.Description = L"Windows 为图片和视频保存的缩略图。";
    handler.Flags = EVCF_ENABLEBYDEFAULT;
    EXPECT_FALSE(handler.HoldsUserFiles());
    EXPECT_TRUE(handler.DefaultChecked());
    EXPECT_FALSE(handler.DefaultChecked(true)) << "unattended only with EVCF_ENABLEBYDEFAULT_AUTO";
    handler.HandlerDescription = L"警告: 这些是你的个人文件。";
    EXPECT_TRUE(handler.HoldsUserFiles()) << "the handler's own text counts";
    EXPECT_FALSE(handler.DefaultChecked());
    TVolumeCacheHandler versions;
    versions.KeyName = L"User file versions";
    versions.Flags = EVCF_ENABLEBYDEFAULT | EVCF_ENABLEBYDEFAULT_AUTO;
    EXPECT_TRUE(versions.HoldsUserFiles());
    EXPECT_FALSE(versions.DefaultChecked(true));
}
