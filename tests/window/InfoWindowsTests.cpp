// The action detail window, the legend and the About window, shown for real and
// driven from a timer inside their own modal loops.
#include "engine/Exceptions.h"
#include "engine/Masks.h"
#include "engine/VantrelClasses.h"
#include "settings/VantrelData.h"
#include "support/TempFolder.h"
#include "ui/Application.h"
#include "ui/LegendFormUnit.h"
#include "ui/OrvHyperlink.h"
#include "ui/OrvViewAbout.h"
#include "ui/PreviewVantrelUnit.h"
#include "ui/Winapp2EntriesForm.h"
#include "window/WindowTestSupport.h"

#include "VantrelVersion.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int mrAbort = 3;  // set only by a fallback step: the window did not close as it should

// Keeps the window up for VT_SHOT_HOLD_MS (when set) so a screenshot can be taken.
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

// Runs steps one per timer tick, from inside whatever message loop is running,
// so a test never blocks on a modal window. The last step must close it.
class TTimerScript {
public:
    explicit TTimerScript(std::vector<std::function<void()>> steps) : FSteps(std::move(steps)) {
        GActive = this;
        FTimer = ::SetTimer(nullptr, 0, 120, Tick);
    }
    ~TTimerScript() {
        ::KillTimer(nullptr, FTimer);
        GActive = nullptr;
    }
    TTimerScript(const TTimerScript&) = delete;
    TTimerScript& operator=(const TTimerScript&) = delete;
    bool Finished() const { return FNext == FSteps.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        TTimerScript* self = GActive;
        if (self == nullptr || self->FNext >= self->FSteps.size() || self->FRunning) return;
        self->FRunning = true;  // a step that runs messages must not start the next one
        const size_t step = self->FNext++;
        self->FSteps[step]();
        self->FRunning = false;
    }

    static inline TTimerScript* GActive = nullptr;
    std::vector<std::function<void()>> FSteps;
    size_t FNext = 0;
    bool FRunning = false;
    UINT_PTR FTimer = 0;
};

// A visible top-level window standing in for the main window.
class TStandInWindow {
public:
    explicit TStandInWindow(const wchar_t* caption, int x = 200, int y = 150) {
        FHandle = ::CreateWindowExW(0, L"STATIC", caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, 560, 340, nullptr,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ::UpdateWindow(FHandle);
    }
    ~TStandInWindow() { ::DestroyWindow(FHandle); }
    TStandInWindow(const TStandInWindow&) = delete;
    TStandInWindow& operator=(const TStandInWindow&) = delete;
    HWND Handle() const { return FHandle; }

private:
    HWND FHandle;
};

SIZE ClientSize(HWND wnd) {
    RECT client;
    ::GetClientRect(wnd, &client);
    return SIZE{client.right, client.bottom};
}

// --- Actions for the detail window ---

std::wstring GScratchMasks;

class TScratchFileMaskItem : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& SmartProtection) override {
        Name = L"临时测试文件";
        Masks = GScratchMasks;
        SmartProtection = TSmartProtection::spWeek;
    }
};

class TScratchSpecialItem : public TCleanupSpecialActionItem {
protected:
    void Configure(std::wstring& Name, std::wstring& ProgressText, std::wstring& FirstInfoLine,
                   std::wstring& SecondInfoLine) override {
        Name = L"测试特殊操作";
        ProgressText = L"正在测试...";
        FirstInfoLine = L"第一行说明";
        SecondInfoLine = L"第二行说明";
    }
};

class TFailingFileMaskItem : public TScratchFileMaskItem {
public:
    void Execute() override { throw Exception(L"测试错误"); }
};

// Deletes nothing, slowly: reports its per cent until the window has handled
// a message posted before the cleanup started, at most for five seconds.
TCleanupActionInfoForm* GSlowForm = nullptr;
HWND GSlowList = nullptr;
std::vector<std::wstring> GSlowSecondLines;
bool GSlowSawMessage = false;
class TSlowFileMaskItem : public TScratchFileMaskItem {
public:
    void Execute() override {
        const uint64_t start = ::GetTickCount64();
        for (int step = 1; !GSlowSawMessage && ::GetTickCount64() - start < 5000; ++step) {
            DoStatus(Name + L"  " + std::to_wstring(std::min(step, 100)) + L"%");
            GSlowSecondLines.push_back(GSlowForm->Text2());
            GSlowSawMessage = ::SendMessageW(GSlowList, LB_GETCURSEL, 0, 0) == 1;
            ::Sleep(5);  // the work of deleting a file
        }
        FoundFiles.clear();
    }
};

template <class T>
std::unique_ptr<TCleanupCustomItem> MakeItem(const std::wstring& masks = L"") {
    GScratchMasks = masks;
    return TCleanupCustomItem::ClassOf<T>().Create();
}

class DetailWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Application().SetTitle(L"Vantrel");
        Application().Initialize();
        FSettings = NewVantrelSettings();
        FSettings.Options().SetFileProtection(L"None");
    }
    // Shows Item's window while Steps run; returns the modal result.
    int Show(TCleanupCustomItem& item, const std::function<void(TCleanupActionInfoForm&)>& inspect,
             const std::function<void(TCleanupActionInfoForm&)>& close) {
        TStandInWindow owner(L"main");
        TCleanupActionInfoForm form;
        TTimerScript script({[&] { inspect(form); }, [&] { close(form); },
                             [&] { form.SetModalResult(mrAbort); }});  // only reached when closing failed
        const int result = form.ShowActionInfo(item, FSettings, owner.Handle());
        EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));
        return result;
    }
    static void PressEscape(TCleanupActionInfoForm& form) {
        HWND target = ::GetFocus() != nullptr ? ::GetFocus() : form.Handle();
        ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    TXMLVantrelSettingsType FSettings;
};

TEST_F(DetailWindow, SpecialActionShowsOnlyTheBottomBarWithCleanupEnabled_EscapeCloses) {
    auto item = MakeItem<TScratchSpecialItem>();
    bool inspected = false;
    const int result = Show(
        *item,
        [&](TCleanupActionInfoForm& form) {
            inspected = true;
            EXPECT_EQ(WindowText(form.Handle()), L"测试特殊操作");
            EXPECT_FALSE(form.FileListShown());
            EXPECT_FALSE(::IsWindowVisible(form.FileList()));
            EXPECT_TRUE(form.CleanupEnabled());
            EXPECT_EQ(form.Text1(), L"第一行说明");
            EXPECT_EQ(form.Text2(), L"第二行说明");
            const SIZE client = ClientSize(form.Handle());
            EXPECT_EQ(client.cx, 495 + 10);
            EXPECT_EQ(client.cy, 215 + 10 - 176);
            // The bar moved up with the window: the buttons are still inside it.
            RECT button;
            ::GetWindowRect(form.CleanupButton(), &button);
            ::MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&button), 2);
            EXPECT_LE(button.bottom, client.cy - 5);
        },
        PressEscape);
    EXPECT_TRUE(inspected);
    EXPECT_EQ(result, mrCancel);
}

TEST_F(DetailWindow, FileMaskActionWithNothingFoundShowsOnlyTheBarWithCleanupDisabled) {
    auto item = MakeItem<TScratchFileMaskItem>(L"C:\\NOWHERE\\*");
    bool inspected = false;
    const int result = Show(
        *item,
        [&](TCleanupActionInfoForm& form) {
            inspected = true;
            EXPECT_FALSE(form.FileListShown());
            EXPECT_FALSE(form.CleanupEnabled());
            EXPECT_EQ(ClientSize(form.Handle()).cy, 215 + 10 - 176);
            EXPECT_EQ(form.Text1(), L"没有找到文件。");
            // The protection of the settings is the one named, not the action's own.
            EXPECT_EQ(form.Text2(), L"文件保护: 无");
        },
        [](TCleanupActionInfoForm& form) {
            // Alt+L, the close button's accelerator.
            HWND target = ::GetFocus() != nullptr ? ::GetFocus() : form.Handle();
            ::PostMessageW(target, WM_SYSCHAR, L'l', 1 << 29);
        });
    EXPECT_TRUE(inspected);
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(item->FileProtection, L"None");
}

TEST_F(DetailWindow, FoundFilesAreListedWithLongPathsShortenedInTheMiddle) {
    auto item = MakeItem<TScratchFileMaskItem>();
    auto& files = static_cast<TCleanupFileMaskItem&>(*item).FoundFiles;
    const std::wstring shortPath = L"C:\\temp\\a.tmp";
    std::wstring longPath = L"C:\\";
    for (int i = 0; i < 12; ++i) longPath += L"一个很长的文件夹名称 folder " + std::to_wstring(i) + L"\\";
    longPath += L"最后的文件 final.tmp";
    files.clear();
    files.Add(shortPath, 1536);
    files.Add(longPath, 5ull << 30);
    bool inspected = false;
    Show(
        *item,
        [&](TCleanupActionInfoForm& form) {
            inspected = true;
            ASSERT_TRUE(form.FileListShown());
            EXPECT_TRUE(form.CleanupEnabled());
            EXPECT_EQ(ClientSize(form.Handle()).cy, 215 + 10);
            EXPECT_EQ(form.Text1(), L"2 个文件被找到, 共 5 GB");
            const auto entries = form.FileListEntries();
            ASSERT_EQ(entries.size(), 2u);
            EXPECT_EQ(entries[0], shortPath);
            const std::wstring& shown = entries[1];
            EXPECT_NE(shown.find(L"..."), std::wstring::npos) << "shown: " << shown.c_str();
            EXPECT_EQ(shown.rfind(L"C:\\", 0), 0u);
            const std::wstring fileName = L"\\最后的文件 final.tmp";
            ASSERT_GE(shown.size(), fileName.size());
            EXPECT_EQ(shown.substr(shown.size() - fileName.size()), fileName);
            EXPECT_LT(shown.size(), longPath.size());
            // It fits the list.
            RECT list;
            ::GetClientRect(form.FileList(), &list);
            HDC dc = ::GetDC(form.FileList());
            HFONT font = reinterpret_cast<HFONT>(::SendMessageW(form.FileList(), WM_GETFONT, 0, 0));
            HGDIOBJ old = ::SelectObject(dc, font);
            SIZE extent{};
            ::GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
            ::SelectObject(dc, old);
            ::ReleaseDC(form.FileList(), dc);
            EXPECT_LE(extent.cx, list.right);
            HoldForScreenshot();
        },
        PressEscape);
    EXPECT_TRUE(inspected);
}

TEST_F(DetailWindow, MovedToA200PerCentMonitorTheFilesAreListedAgainForTheNewScale) {
    auto item = MakeItem<TScratchFileMaskItem>();
    auto& files = static_cast<TCleanupFileMaskItem&>(*item).FoundFiles;
    files.clear();
    std::wstring longPath = L"C:\\";
    for (int i = 0; i < 12; ++i) longPath += L"folder number " + std::to_wstring(i) + L"\\";
    for (int i = 0; i < 40; ++i) files.Add(longPath + L"file " + std::to_wstring(i) + L".tmp", 1000ull * i);
    bool inspected = false;
    Show(
        *item,
        [&](TCleanupActionInfoForm& form) {
            inspected = true;
            ASSERT_TRUE(form.FileListShown());
            const int columnBefore = form.SizeColumnWidth();
            const auto heightBefore = ::SendMessageW(form.FileList(), LB_GETITEMHEIGHT, 0, 0);
            ::SendMessageW(form.FileList(), LB_SETCURSEL, 25, 0);
            ::SendMessageW(form.FileList(), LB_SETTOPINDEX, 20, 0);
            const auto topBefore = ::SendMessageW(form.FileList(), LB_GETTOPINDEX, 0, 0);
            RECT window;
            ::GetWindowRect(form.Handle(), &window);
            RECT suggested{window.left, window.top, window.left + 2 * (window.right - window.left),
                           window.top + 2 * (window.bottom - window.top)};
            ::SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
            EXPECT_EQ(::SendMessageW(form.FileList(), LB_GETITEMHEIGHT, 0, 0), 2 * heightBefore);
            // Sizes measured again in the larger font: they do not run into the paths.
            EXPECT_NEAR(form.SizeColumnWidth(), 2 * columnBefore, 4);
            const auto entries = form.FileListEntries();
            ASSERT_EQ(entries.size(), 40u);
            EXPECT_NE(entries[25].find(L"file 25.tmp"), std::wstring::npos) << entries[25].c_str();
            EXPECT_EQ(::SendMessageW(form.FileList(), LB_GETCURSEL, 0, 0), 25);
            EXPECT_EQ(::SendMessageW(form.FileList(), LB_GETTOPINDEX, 0, 0), topBefore);
            // Every shown path fits beside its size in the new font.
            RECT list;
            ::GetClientRect(form.FileList(), &list);
            HDC dc = ::GetDC(form.FileList());
            HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(form.FileList(), WM_GETFONT, 0, 0)));
            for (const auto& shown : entries) {
                SIZE extent{};
                ::GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
                EXPECT_LE(extent.cx, list.right - form.SizeColumnWidth()) << shown.c_str();
            }
            ::SelectObject(dc, old);
            ::ReleaseDC(form.FileList(), dc);
        },
        PressEscape);
    EXPECT_TRUE(inspected);
}

TEST_F(DetailWindow, CleanupRunsAnUntickedActionAndDeletesItsFiles) {
    TTempFolder folder(L"detail");
    auto item = MakeItem<TScratchFileMaskItem>(MakeMaskList({folder.Path() + L"*.TMP"}));
    auto& maskItem = static_cast<TCleanupFileMaskItem&>(*item);
    maskItem.Checked = false;
    const std::wstring first = folder.CreateFile(L"one.tmp"), second = folder.CreateFile(L"sub\\two.tmp");
    const std::wstring kept = folder.CreateFile(L"keep.txt");
    for (const auto& file : {first, second, kept}) maskItem.AcceptFile(file, L"None");
    ASSERT_EQ(maskItem.FoundFiles.size(), 2u);
    std::vector<std::wstring> statusTexts;
    item->OnStatus = [&](TCleanupCustomItem*, const std::wstring& text) { statusTexts.push_back(text); };

    bool cleaned = false;
    Show(
        *item,
        [&](TCleanupActionInfoForm& form) {
            ASSERT_EQ(form.FileListEntries().size(), 2u);
            ::SendMessageW(form.CleanupButton(), BM_CLICK, 0, 0);
            cleaned = true;
            EXPECT_FALSE(FileExists(first));
            EXPECT_FALSE(FileExists(second));
            EXPECT_TRUE(FileExists(kept));
            EXPECT_TRUE(form.FileListEntries().empty());
            EXPECT_FALSE(form.CleanupEnabled());
            EXPECT_EQ(form.Text1(), L"清理完成。");
            EXPECT_EQ(form.Text2(), L"");
        },
        PressEscape);
    EXPECT_TRUE(cleaned);
    EXPECT_EQ(item->GetState(), TCleanupItemState::csNothingFound);
    EXPECT_FALSE(item->Checked);
    EXPECT_FALSE(statusTexts.empty());  // the action ran through Perform
}

TEST_F(DetailWindow, CleanupShowsItsPerCentAndKeepsAnswering) {
    auto item = MakeItem<TSlowFileMaskItem>(L"C:\\SLOW\\*");
    static_cast<TCleanupFileMaskItem&>(*item).FoundFiles = {L"C:\\slow\\a.tmp", L"C:\\slow\\b.tmp"};
    GSlowSecondLines.clear();
    GSlowSawMessage = false;
    Show(
        *item,
        [&](TCleanupActionInfoForm& form) {
            GSlowForm = &form;
            GSlowList = form.FileList();
            // Handled only if the window answers messages while it cleans.
            ::PostMessageW(form.FileList(), LB_SETCURSEL, 1, 0);
            ::SendMessageW(form.CleanupButton(), BM_CLICK, 0, 0);
        },
        PressEscape);
    EXPECT_TRUE(GSlowSawMessage);
    // The second line shows the action's per cent as it runs.
    ASSERT_FALSE(GSlowSecondLines.empty());
    EXPECT_EQ(GSlowSecondLines.front(), L"临时测试文件  1%");
    EXPECT_EQ(item->GetState(), TCleanupItemState::csNothingFound);
}

TEST_F(DetailWindow, FailedCleanupLeavesTheWindowAsItWas) {
    auto item = MakeItem<TFailingFileMaskItem>();
    static_cast<TCleanupFileMaskItem&>(*item).FoundFiles = {L"C:\\temp\\x.tmp"};
    GShownErrors.clear();
    bool clicked = false;
    Show(
        *item,
        [&](TCleanupActionInfoForm& form) {
            ::SendMessageW(form.CleanupButton(), BM_CLICK, 0, 0);
            clicked = true;
            EXPECT_EQ(form.Text1(), L"正在进行清理...");
            EXPECT_TRUE(form.CleanupEnabled());
            EXPECT_EQ(form.FileListEntries().size(), 1u);
        },
        [](TCleanupActionInfoForm& form) {
            // Still open after the error; the close button closes it.
            ::PostMessageW(form.CloseButton(), BM_CLICK, 0, 0);
        });
    EXPECT_TRUE(clicked);
    ASSERT_EQ(GShownErrors.size(), 1u);
    EXPECT_EQ(GShownErrors[0], L"测试错误");
}

// --- Legend ---

TEST(LegendWindow, EnterClosesIt) {
    Application().Initialize();
    TStandInWindow owner(L"main");
    TLegendForm form(owner.Handle());
    bool inspected = false;
    TTimerScript script({[&] {
                             inspected = true;
                             EXPECT_EQ(WindowText(form.Handle()), L"图例");
                             const SIZE client = ClientSize(form.Handle());
                             EXPECT_EQ(client.cx, 324 + 10);
                             EXPECT_EQ(client.cy, 135 + 10);
                             EXPECT_FALSE(::IsWindowEnabled(owner.Handle()));
                             HoldForScreenshot();
                             HWND target = ::GetFocus() != nullptr ? ::GetFocus() : form.Handle();
                             ::PostMessageW(target, WM_KEYDOWN, VK_RETURN, 0);
                         },
                         [&] { form.SetModalResult(mrAbort); }});
    EXPECT_EQ(form.ShowModal(owner.Handle()), mrOk);
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));
}

// --- About ---

std::wstring BuiltProgramFile() {
    // tests\vantrel_window_tests.exe -> app\Vantrel.exe in the same build folder.
    std::wstring name = VersionFileName();
    for (int i = 0; i < 2; ++i) name.erase(name.find_last_of(L'\\'));
    return name + L"\\app\\Vantrel.exe";
}

class AboutWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Application().SetTitle(L"Vantrel");
        Application().Initialize();
        SetLinkOpenerForTesting([this](const std::wstring& target) { FOpened.push_back(target); });
    }
    void TearDown() override {
        SetLinkOpenerForTesting(nullptr);
        SetVersionFileForTesting(L"");
    }
    // Sends each character as the keyboard would, to the control with the focus.
    static void Type(const std::wstring& text) {
        for (wchar_t c : text) ::PostMessageW(::GetFocus(), WM_CHAR, c, 0);
    }
    static TfrmAbout& About() { return *TfrmAbout::Current(); }
    static std::wstring Shown() { return About().ShownPanel->Name(); }
    static void Close() {
        if (TfrmAbout::Current() != nullptr) About().SetModalResult(mrAbort);
    }
    std::vector<std::wstring> FOpened;
};

TEST_F(AboutWindow, ShowsNameVersionAndLinksThenOkCloses) {
    SetVersionFileForTesting(BuiltProgramFile());
    TStandInWindow owner(L"main");
    bool inspected = false;
    TTimerScript script(
        {[&] {
             inspected = true;
             ASSERT_NE(TfrmAbout::Current(), nullptr);
             HWND form = About().Handle();
             EXPECT_EQ(WindowText(form), L"关于");
             EXPECT_EQ(ClientSize(form).cx, 342 + 10);
             EXPECT_EQ(ClientSize(form).cy, 202 + 10);
             EXPECT_NE(::GetWindowLongPtrW(form, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
             BYTE alpha = 0;
             DWORD flags = 0;
             EXPECT_TRUE(::GetLayeredWindowAttributes(form, nullptr, &alpha, &flags));
             EXPECT_EQ(alpha, 255);
             EXPECT_FALSE(::IsWindowEnabled(owner.Handle()));
             EXPECT_EQ(WindowText(About().ProductName), L"Vantrel");
             EXPECT_EQ(WindowText(About().Version),
                       L"版本 1.0  Build " + std::to_wstring(VANTREL_VERSION_BUILD));
             // The version stands right of the name, bottoms level.
             RECT name, version;
             ::GetWindowRect(About().ProductName, &name);
             ::GetWindowRect(About().Version, &version);
             EXPECT_EQ(version.left, name.right + 8);
             EXPECT_EQ(version.bottom, name.bottom);
             EXPECT_EQ(About().ProgramKey, L"Vantrel");
             auto& links = TLabelToLinkEventHandlers::Instance();
             EXPECT_EQ(WindowText(About().lblEmail), L"Vantrel@holvane.example");
             EXPECT_EQ(links.Target(About().lblEmail), L"mailto:Vantrel@holvane.example");
             EXPECT_EQ(links.Target(About().lblSite), L"https://www.holvane.example/");
             EXPECT_EQ(links.Target(About().lblDonation), L"https://www.holvane.example/software/donate.htm");
             EXPECT_EQ(links.Target(About().lblSoftware), L"https://www.holvane.example/software");
             EXPECT_TRUE(::IsWindowVisible(About().lblDonation));
             EXPECT_NE(WindowText(About().NoticeLabel).find(L"2004-"), std::wstring::npos);
             HoldForScreenshot();
             ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
         },
         Close});
    EXPECT_EQ(ShowAboutBox(2004, false, owner.Handle()), mrOk);
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(::IsWindowEnabled(owner.Handle()));
    EXPECT_EQ(TfrmAbout::Current(), nullptr);
    EXPECT_TRUE(FOpened.empty());
    // A file without version information gives no version text rather than a made-up one.
    EXPECT_FALSE(ReadProgramVersion(L"C:\\windows\\win.ini").Found);
}

TEST_F(AboutWindow, TypedWordsSwitchPanelsAndOtherKeysReturn) {
    TStandInWindow owner(L"main");
    std::vector<std::wstring> shown;
    TTimerScript script({
        [&] { Type(L"url"); },
        [&] {
            shown.push_back(Shown());
            EXPECT_NE(WindowText(About().EggsForm->UrlMemo).find(L"https://www.holvane.example/software/vantrel.htm"),
                      std::wstring::npos);
            Type(L"5");
        },
        [&] {
            shown.push_back(Shown());
            Type(L"UpDate");
        },
        [&] {
            shown.push_back(Shown());
            EXPECT_EQ(WindowText(About().EggsForm->DownloadNowLabel), L"单击这里下载最新版本的 Vantrel.");
            // Clicking the label downloads.
            ::SendMessageW(About().EggsForm->DownloadNowLabel, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            ::SendMessageW(About().EggsForm->DownloadNowLabel, WM_LBUTTONUP, 0, 0);
            ::PostMessageW(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
        },
        [&] {
            shown.push_back(Shown());  // Escape returned to About and did not close
            EXPECT_EQ(About().ModalResult(), mrNone);
            Type(L"xyzurl");
        },
        [&] {
            shown.push_back(Shown());  // the letters kept collecting: "XYZURL" names nothing
            EXPECT_EQ(About().TypedWord, L"XYZURL");
            Type(L"-url");
        },
        [&] {
            shown.push_back(Shown());
            Close();
        },
    });
    EXPECT_EQ(ShowAboutBox(2004, false, owner.Handle()), mrAbort);
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"UrlPanel", L"AboutPanel", L"UpdatePanel", L"AboutPanel",
                                                L"AboutPanel", L"UrlPanel"}));
    EXPECT_EQ(FOpened, (std::vector<std::wstring>{L"https://www.holvane.example/software/download/vantrel.zip"}));
}

TEST_F(AboutWindow, LinksFollowTheMouseAndOpenTheirTarget) {
    TStandInWindow owner(L"main");
    TTimerScript script({
        [&] {
            auto& links = TLabelToLinkEventHandlers::Instance();
            EXPECT_FALSE(::IsWindowVisible(About().lblDonation));  // HideDonation
            ::SendMessageW(About().lblSite, WM_MOUSEMOVE, 0, 0);
            EXPECT_TRUE(links.IsHot(About().lblSite));
            ::SendMessageW(About().lblEmail, WM_MOUSEMOVE, 0, 0);
            EXPECT_FALSE(links.IsHot(About().lblSite));
            EXPECT_TRUE(links.IsHot(About().lblEmail));
            ::SendMessageW(About().AboutPanel.Handle(), WM_MOUSEMOVE, 0, 0);
            EXPECT_FALSE(links.IsHot(About().lblEmail));
            ::SendMessageW(About().lblSoftware, WM_MOUSEMOVE, 0, 0);
            ::SendMessageW(About().lblSoftware, WM_LBUTTONUP, 0, 0);
            EXPECT_FALSE(links.IsHot(About().lblSoftware));
            // The links' hints wait two seconds, like every hint of the program.
            struct THints {
                HWND About;
                std::vector<LRESULT> Delays;
            } hints{About().Handle(), {}};
            ::EnumThreadWindows(
                ::GetCurrentThreadId(),
                [](HWND wnd, LPARAM data) -> BOOL {
                    auto& h = *reinterpret_cast<THints*>(data);
                    wchar_t name[64] = {};
                    ::GetClassNameW(wnd, name, 64);
                    if (std::wstring(name) == TOOLTIPS_CLASSW && ::GetWindow(wnd, GW_OWNER) == h.About)
                        h.Delays.push_back(::SendMessageW(wnd, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&hints));
            EXPECT_EQ(hints.Delays, std::vector<LRESULT>{2000});
            // The system menu's close ends the showing with Cancel.
            ::PostMessageW(About().Handle(), WM_CLOSE, 0, 0);
        },
        Close,
    });
    EXPECT_EQ(ShowAboutBox(2004, true, owner.Handle()), mrCancel);
    EXPECT_EQ(FOpened, (std::vector<std::wstring>{L"https://www.holvane.example/software"}));
}

TEST_F(AboutWindow, DeactivationClosesWithCancel) {
    TStandInWindow owner(L"main");
    TStandInWindow other(L"other", 700, 500);
    bool wasActive = false;
    TTimerScript script({
        [&] {
            wasActive = ::GetActiveWindow() == About().Handle();
            ::SetActiveWindow(other.Handle());
        },
        Close,
    });
    EXPECT_EQ(ShowAboutBox(2004, false, owner.Handle()), mrCancel);
    EXPECT_TRUE(wasActive);
    EXPECT_FALSE(script.Finished());  // it closed before the fallback step
}

}  // namespace

// --- winapp2.ini entries ---

TEST(Winapp2EntriesWindow, GroupsTicksWarningsRefusalsAndFiles) {
    Application().Initialize();
    TTempFolder tmp(L"w2window");
    const std::wstring root = tmp.Path().substr(0, tmp.Path().size() - 1);
    const std::wstring cacheFile = tmp.CreateFile(L"Chat\\Cache\\data_1", 2048);
    TWinapp2System system;
    system.Folders.WinDir = L"C:\\Windows";
    system.Folders.Documents = root + L"\\Documents";
    struct TReset {
        ~TReset() { TCleanupWinapp2Item::RuleSource() = nullptr; }
    } reset;
    TCleanupWinapp2Item::RuleSource() = [&](TWinapp2RuleSet& rules) {
        rules.AddText(L"[Chat *]\nLangSecRef=3022\nFileKey1=" + root + L"\\Chat\\Cache|*.*\n"
                      L"[Editor *]\nLangSecRef=3021\nWarning=会删除未保存的草稿。\nFileKey1=" + root + L"\\Editor|*.bak\n"
                      L"[Broken *]\nLangSecRef=3021\nFileKey1=%WinDir%|*.*|RECURSE\n"
                      L"[Launcher *]\nSection=游戏\nFileKey1=" + root + L"\\Launcher\\logs|*.log\n"
                      // QQ's real keys, in a Documents folder of the test's own.
                      L"[Tencent QQ *]\nLangSecRef=3022\nFileKey1=%Documents%\\Tencent Files\\All Users\\QQ\\Misc|*.log\n"
                      L"FileKey2=%Documents%\\Tencent Files|*|RECURSE\nFileKey3=%Documents%\\Tencent Files\n",
                      L"C:\\test\\winapp2.ini", system);
        rules.Prepare(system);
    };
    TCleanupList list;
    auto& item = static_cast<TCleanupWinapp2Item&>(list.AddAction(TCleanupCustomItem::ClassOf<TCleanupWinapp2Item>(), true));
    // A pass with the row ticked: the entries count their files.
    list.SetChecked(0, true);
    list.ClearFoundFiles();
    list.AddFoundFile(cacheFile, L"None");
    TStandInWindow owner(L"main");
    TWinapp2EntriesForm form(item);
    std::vector<std::wstring> asked;
    bool answer = false;
    form.ConfirmWarning = [&](const std::wstring& name, const std::wstring& warning) {
        asked.push_back(name + L": " + warning);
        return answer;
    };
    bool inspected = false;
    TTimerScript script(
        {[&] {
             inspected = true;
             EXPECT_EQ(WindowText(form.Handle()), L"其他应用程序 (winapp2.ini)");
             const auto rows = form.Rows();
             std::vector<std::wstring> shown;
             for (const auto& r : rows)
                 shown.push_back((r.Group ? L"# " : (r.HasTick ? L"[ ] " : L"    ")) + r.Text + L" | " + r.Files +
                                 L" | " + r.Size);
             EXPECT_EQ(shown, (std::vector<std::wstring>{
                                  L"# 应用程序 |  | ", L"    Broken |  | 已拒绝", L"[ ] Editor | 0 | 0 bytes",
                                  L"# 互联网 |  | ", L"[ ] Chat | 1 | 2 KB", L"[ ] Tencent QQ | 0 | 0 bytes",
                                  L"# 游戏 |  | ", L"[ ] Launcher | 0 | 0 bytes"}));
             EXPECT_EQ(form.SummaryText(), L"检测到 5 个应用程序, 已选 0 项。");
             // A refused entry and a group take no tick; a warning is asked first.
             form.ClickEntryTick(L"Broken");
             form.ClickEntryTick(L"Editor");
             EXPECT_EQ(asked, std::vector<std::wstring>{L"Editor: 会删除未保存的草稿。"});
             answer = true;
             form.ClickEntryTick(L"Editor");
             form.ClickEntryTick(L"Chat");
             EXPECT_EQ(asked.size(), 2u);
             EXPECT_EQ(form.SummaryText(), L"检测到 5 个应用程序, 已选 2 项。");
             // Vantrel's own warning for a user's folder is asked like the file's own.
             answer = false;
             form.ClickEntryTick(L"Tencent QQ");
             const std::wstring qq = L"此条目会删除 " + root + L"\\Documents\\Tencent Files 中的全部文件。";
             EXPECT_EQ(asked.back(), L"Tencent QQ: " + qq);
             EXPECT_EQ(form.SummaryText(), L"检测到 5 个应用程序, 已选 2 项。");
             // Its faulty FileKey3 is passed over and shown; the rest of the entry stays.
             form.SelectEntry(L"Tencent QQ");
             EXPECT_EQ(form.HintText(), L"警告: " + qq + L"\r跳过的键: FileKey3 没有文件名\r互联网 - C:\\test\\winapp2.ini");
             HoldForScreenshot();
             form.SelectEntry(L"Chat");
             const auto files = form.FileListEntries();
             ASSERT_EQ(files.size(), 1u);
             EXPECT_EQ(files[0], cacheFile + L"    2 KB");
             EXPECT_EQ(form.HintText(), L"互联网 - C:\\test\\winapp2.ini");
             form.SelectEntry(L"Broken");
             EXPECT_EQ(form.HintText().rfind(L"已拒绝: FileKey1 会清理受保护的文件夹: C:\\Windows", 0), 0u)
                 << form.HintText();
             HoldForScreenshot();
         },
         [&] { ::PostMessageW(form.OkButton(), BM_CLICK, 0, 0); }, [&] { form.SetModalResult(mrAbort); }});
    EXPECT_EQ(form.ShowEntries(owner.Handle()), mrOk);
    EXPECT_TRUE(inspected);
    // OK hands the ticks to the entries; the row's files follow them.
    EXPECT_EQ(item.Rules.CheckedCount(), 2);
    EXPECT_EQ(item.FoundFiles.size(), 1u);
    EXPECT_EQ(item.RowText(), L"清理其他应用程序 (winapp2.ini): 已选 2 项");
}

