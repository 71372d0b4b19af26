// The row and the window of Windows' disk cleanup handlers, against the stand-in
// handler: sizes in the list, greyed failures, the question before the user's
// own files are ticked, the handler's own settings, ticks across a restart, and
// Stop while a handler is still sizing itself.
#include "catalogue/VolumeCacheAction.h"
#include "support/TempFolder.h"
#include "support/VolumeCacheStandIns.h"
#include "ui/VolumeCachesForm.h"
#include "window/MainWindowFixture.h"

#include <emptyvc.h>

#include <chrono>
#include <cstdlib>

namespace {

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

void HoldForScreenshot() {
    const char* hold = std::getenv("VT_SHOT_HOLD_MS");
    if (hold == nullptr) return;
    const uint64_t end = ::GetTickCount64() + static_cast<uint64_t>(std::atoi(hold));
    while (::GetTickCount64() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(20);
    }
}

// Runs steps one per timer tick inside the modal window's own loop.
class TSteps {
public:
    explicit TSteps(std::vector<std::function<void()>> steps) : FSteps(std::move(steps)) {
        GActive = this;
        FTimer = ::SetTimer(nullptr, 0, 120, Tick);
    }
    ~TSteps() {
        ::KillTimer(nullptr, FTimer);
        GActive = nullptr;
    }
    TSteps(const TSteps&) = delete;
    TSteps& operator=(const TSteps&) = delete;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        TSteps* self = GActive;
        if (self == nullptr || self->FNext >= self->FSteps.size() || self->FRunning) return;
        self->FRunning = true;
        self->FSteps[self->FNext++]();
        self->FRunning = false;
    }
    static inline TSteps* GActive = nullptr;
    std::vector<std::function<void()>> FSteps;
    size_t FNext = 0;
    bool FRunning = false;
    UINT_PTR FTimer = 0;
};

class TElevated {
public:
    TElevated() : FOld(ProcessIsElevated()) { ProcessIsElevated() = [] { return true; }; }
    ~TElevated() { ProcessIsElevated() = FOld; }

private:
    std::function<bool()> FOld;
};

}  // namespace

TEST(VolumeCachesWindow, SizesGreyedFailuresTheUsersOwnFilesAndTheHandlersSettings) {
    Application().Initialize();
    TElevated elevated;
    TVolumeCacheStandIns standIns(1500);
    TTempFolder files(L"vc-window");
    const std::wstring log = files.Path() + L"calls.log";
    files.CreateFile(L"update\\a.cab", 3 * 1024 * 1024);
    files.CreateFile(L"logs\\b.log", 200 * 1024);
    standIns.Add(L"Update Files", L"normal", files.Path() + L"update", log, EVCF_ENABLEBYDEFAULT | EVCF_HASSETTINGS, 300);
    standIns.SetValue(L"Update Files", L"Description", L"Windows 更新留下的安装文件。");
    standIns.Add(L"Setup Logs", L"normal", files.Path() + L"logs", log, 0, 200, VT_STANDIN_V2ONLY_CLSID);
    standIns.SetValue(L"Setup Logs", L"Display", L"@" + standIns.Dll() + L",-101");
    standIns.SetValue(L"Setup Logs", L"PropertyBag", VT_STANDIN_BAG_CLSID);
    standIns.Add(L"Slow Index", L"slow", L"", L"", EVCF_ENABLEBYDEFAULT, 150);
    standIns.Add(L"Broken Cache", L"efail", L"", L"", 0, 120);
    standIns.Add(L"DownloadsFolder", L"normal", L"", L"", EVCF_ENABLEBYDEFAULT, 100);
    standIns.SetValue(L"DownloadsFolder", L"Display", L"下载");
    standIns.Add(L"Hidden Zero", L"zero", L"", L"", 0, 90);

    TCleanupList list;
    auto& item = static_cast<TCleanupVolumeCacheItem&>(
        list.AddAction(TCleanupCustomItem::ClassOf<TCleanupVolumeCacheItem>(), false));
    item.StartScan({L"C:\\"});
    ASSERT_TRUE(PumpUntil([&] { return !item.Busy(); }));

    TVolumeCachesForm form(item);
    std::vector<std::wstring> asked;
    form.ConfirmUserFiles = [&](const std::wstring& name, const std::wstring&) {
        asked.push_back(name);
        return false;
    };
    bool inspected = false;
    TSteps steps(
        {[&] {
             inspected = true;
             EXPECT_EQ(WindowText(form.Handle()), L"Windows 系统文件 (磁盘清理项目)");
             std::vector<std::wstring> shown;
             for (const auto& r : form.Rows())
                 shown.push_back((r.HasTick ? (r.Checked ? L"[x] " : L"[ ] ") : L"    ") + r.Text + L" | " + r.Drives +
                                 L" | " + r.Size);
             EXPECT_EQ(shown, (std::vector<std::wstring>{
                                  L"[x] Update Files | C: 3 MB | 3 MB",
                                  L"[ ] 替身 第二版处理程序 | C: 200 KB | 200 KB",
                                  L"[x] Slow Index | C: 未计算 | 未计算",
                                  L"    Broken Cache | C: 失败 | 失败",
                                  L"[ ] 下载 | C: 0 bytes | 0 bytes",
                             }));
             form.ClickHandlerTick(L"DownloadsFolder");
             form.ClickHandlerTick(L"Broken Cache");
             form.ClickHandlerTick(L"Setup Logs");
             EXPECT_EQ(asked, std::vector<std::wstring>{L"下载"});
             EXPECT_EQ(form.SummaryText(), L"检测到 5 个项目, 已选 3 项, 共 3.2 MB。");
             form.SelectHandler(L"Setup Logs");
             EXPECT_EQ(form.HintText(), std::wstring(VT_STANDIN_BAG_DESCRIPTION) + L"\rC: 200 KB");
             EXPECT_FALSE(form.PropertiesEnabled());
             form.SelectHandler(L"Broken Cache");
             EXPECT_TRUE(Contains(form.HintText(), L"无法使用: 无法初始化: 0x80004005")) << form.HintText();
             form.SelectHandler(L"Update Files");
             EXPECT_TRUE(form.PropertiesEnabled()) << "EVCF_HASSETTINGS";
             HoldForScreenshot();
         },
         [&] { ::SendMessageW(::GetDlgItem(form.Handle(), 501), BM_CLICK, 0, 0); },
         [&] { ::PostMessageW(form.OkButton(), BM_CLICK, 0, 0); }, [&] { form.SetModalResult(3); }});
    EXPECT_EQ(form.ShowHandlers(nullptr), mrOk);
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(Contains(TVolumeCacheStandIns::ReadLog(log), L"ShowProperties")) << "run in a host of its own";
    EXPECT_EQ(item.RowText(), L"清理 Windows 系统文件 (磁盘清理项目): 已选 3 项");
}

class VolumeCacheMainWindow : public MainWindowFixture {};

TEST_F(VolumeCacheMainWindow, RowSizesHandlersInTheReadingPassAndKeepsTheirTicksAcrossARestart) {
    TElevated elevated;
    TVolumeCacheStandIns standIns;
    TTempFolder files(L"vc-main");
    files.CreateFile(L"a\\a.tmp", 4096);
    standIns.Add(L"Alpha", L"normal", files.Path() + L"a", L"", EVCF_ENABLEBYDEFAULT, 200);
    standIns.Add(L"Beta", L"normal", L"", L"", 0, 100);
    OpenAndRead();
    ASSERT_NE(Form->VolumeCacheItem(), nullptr);
    const int row = Form->VolumeCacheRow();
    EXPECT_FALSE(Form->CleanupActionsListBox().Checked(row)) << "the row starts unticked";
    const auto menu = Form->FileMenuTexts();
    EXPECT_NE(std::find(menu.begin(), menu.end(), L"Windows 系统文件(&S)..."), menu.end());
    auto handlers = Form->VolumeCacheItem()->Handlers();
    ASSERT_EQ(handlers.size(), 2u);
    EXPECT_EQ(handlers[0].TotalSize(), 4096u) << "sized in the reading pass";
    std::wstring hint;
    Form->VolumeCacheItem()->GetSecondInfoLine(hint);
    EXPECT_TRUE(Contains(hint, L"Alpha: C: 4 KB")) << hint;
    Form->VolumeCacheItem()->SetHandlerChecked(L"Alpha", false);
    Form->VolumeCacheItem()->SetHandlerChecked(L"Beta", true);
    Close();

    OpenAndRead();
    handlers = Form->VolumeCacheItem()->Handlers();
    ASSERT_EQ(handlers.size(), 2u);
    EXPECT_FALSE(handlers[0].Checked) << "Alpha: unticked by the user, whatever its default";
    EXPECT_TRUE(handlers[1].Checked) << "Beta";
    EXPECT_EQ(Form->VolumeCacheItem()->RowText(), L"清理 Windows 系统文件 (磁盘清理项目): 已选 1 项");
}

TEST_F(VolumeCacheMainWindow, StopEndsThePassWithin200MillisecondsWhileAHandlerIsStillSizing) {
    TElevated elevated;
    TVolumeCacheStandIns standIns(60000);
    TTempFolder files(L"vc-mainstop");
    static std::wstring log;
    log = files.Path() + L"calls.log";
    standIns.Add(L"Quick", L"normal", L"", L"", 0, 200);
    OpenAndRead();
    standIns.Add(L"Slow", L"slow", L"", log, 0, 100);
    static TVantrelForm* current = nullptr;
    static std::chrono::steady_clock::time_point stopped;
    static bool stopRequested = false;
    current = Form.get();
    stopRequested = false;
    // Stopped from inside the pass's message processing, once the slow handler is at work.
    UINT_PTR timer = ::SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        if (stopRequested || !Contains(TVolumeCacheStandIns::ReadLog(log), L"GetSpaceUsed")) return;
        stopRequested = true;
        stopped = std::chrono::steady_clock::now();
        current->StopReadingActionExecute();
    });
    Form->StartReadingActionExecute();
    const auto ended = std::chrono::steady_clock::now();
    ::KillTimer(nullptr, timer);
    ASSERT_TRUE(stopRequested);
    const double ms = std::chrono::duration<double, std::milli>(ended - stopped).count();
    EXPECT_LT(ms, 200.0);
    EXPECT_FALSE(Form->Reading());
    EXPECT_EQ(RunningVolumeCacheHosts(), 0);
    EXPECT_TRUE(Form->VolumeCacheItem()->Handlers()[1].AnyNotCounted());
}
