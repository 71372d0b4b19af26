// The setup window and the main window's set-up command, on a real window:
// timers of this thread click its controls from inside its modal loop, and the
// OK or Cancel button closes it.
#include "ui/SetupVantrelUnit.h"

#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "ui/Application.h"
#include "unit/SandboxTestSupport.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using F = TSetupVantrelForm;
using Strings = std::vector<std::wstring>;

// --- Driving the modal loops of this thread ---

std::map<UINT_PTR, std::function<void()>> GPending;

void CALLBACK RunPending(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    const auto found = GPending.find(id);
    if (found == GPending.end()) return;
    const std::function<void()> action = std::move(found->second);
    GPending.erase(found);
    action();
}

// Runs Action from whichever message loop runs Delay ms from now.
void RunLater(UINT delay, std::function<void()> action) { GPending[::SetTimer(nullptr, 0, delay, RunPending)] = action; }

// A top-level window of this thread with the class name (a visible one unless
// AnyWindow), or null.
HWND FindThreadWindow(const wchar_t* className, bool anyWindow = false) {
    struct TSearch {
        const wchar_t* ClassName;
        bool AnyWindow;
        HWND Found;
    } search{className, anyWindow, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND wnd, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<TSearch*>(data);
            wchar_t name[64] = {};
            ::GetClassNameW(wnd, name, 64);
            if ((s.AnyWindow || ::IsWindowVisible(wnd)) && std::wstring(name) == s.ClassName) s.Found = wnd;
            return s.Found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// Waits (in the running loop) for the window of ClassName, then runs Action on it.
void WhenShown(const wchar_t* className, std::function<void(HWND)> action, int triesLeft = 100) {
    RunLater(50, [=] {
        if (HWND found = FindThreadWindow(className)) action(found);
        else if (triesLeft > 0) WhenShown(className, action, triesLeft - 1);
        else ADD_FAILURE() << "no window of class " << ::testing::PrintToString(std::wstring(className));
    });
}

void Click(HWND form, int id) { ::SendMessageW(::GetDlgItem(form, id), BM_CLICK, 0, 0); }
void PostOk(HWND form) { ::PostMessageW(::GetDlgItem(form, F::idOkButton), BM_CLICK, 0, 0); }
void PostCancel(HWND form) { ::PostMessageW(::GetDlgItem(form, F::idCancelButton), BM_CLICK, 0, 0); }
void SelectEntry(HWND form, int index) {
    ::SendMessageW(::GetDlgItem(form, F::idExcludeDirectoriesListBox), LB_SETCURSEL, index, 0);
}

std::wstring Text(HWND wnd) { return WindowText(wnd); }

bool HasStyle(HWND wnd, LONG_PTR style) { return (::GetWindowLongPtrW(wnd, GWL_STYLE) & style) == style; }

RECT ClientBounds(HWND form, int id) {
    RECT r;
    ::GetWindowRect(::GetDlgItem(form, id), &r);
    ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The folder browser answers from a queue (empty = cancelled) and notes its owners.
std::deque<std::wstring> GBrowserAnswers;
std::vector<HWND> GBrowserOwners;

class SetupWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Application().SetTitle(L"Vantrel");
        Application().Initialize();
        GBrowserAnswers.clear();
        GBrowserOwners.clear();
        GShownErrors.clear();
        SetFolderBrowserForTesting([](HWND owner) {
            GBrowserOwners.push_back(owner);
            if (GBrowserAnswers.empty()) return std::wstring();
            std::wstring answer = GBrowserAnswers.front();
            GBrowserAnswers.pop_front();
            return answer;
        });
        // A window that never closes must not hang the run.
        FWatchdog = ::SetTimer(nullptr, 0, 20000, [](HWND, UINT, UINT_PTR, DWORD) {
            ADD_FAILURE() << "setup window still open after 20 s";
            if (HWND form = FindThreadWindow(L"TSetupVantrelForm")) PostCancel(form);
        });
    }
    void TearDown() override {
        ::KillTimer(nullptr, FWatchdog);
        for (const auto& pending : GPending) ::KillTimer(nullptr, pending.first);
        GPending.clear();
        SetFolderBrowserForTesting(nullptr);
        EXPECT_TRUE(GShownErrors.empty()) << "an error box was shown";
    }
    UINT_PTR FWatchdog = 0;
};

TEST_F(SetupWindow, HasTheDesignedTextsAndLayout) {
    TSetupVantrelForm form(nullptr);
    HWND wnd = form.Handle();
    EXPECT_EQ(Text(wnd), L"设置 Vantrel");
    EXPECT_FALSE(HasStyle(wnd, WS_SYSMENU)) << "no close box";
    EXPECT_TRUE((::GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0);
    RECT client;
    ::GetClientRect(wnd, &client);
    EXPECT_EQ(client.right, F::ClientWidth + 2 * F::BorderWidth);
    EXPECT_EQ(client.bottom, F::ClientHeight + 2 * F::BorderWidth);

    const std::map<int, std::wstring> captions = {
        {F::idOkButton, L"确定(&O)"},
        {F::idCancelButton, L"取消(&C)"},
        {F::idGroupBox3, L" 最近文件访问保护 "},
        {F::idFileAgeNoneRadioButton, L"禁用 (不推荐)"},
        {F::idFileAgeUptimeRadioButton, L"Windows 会话"},
        {F::idFileAgeWeekRadioButton, L"上一周"},
        {F::idFileAgeSmartRadioButton, L"智能"},
        {F::idGroupBox4, L" 扫描模式 "},
        {F::idScanModeQuickRadioButton, L"快速"},
        {F::idScanModeCompleteRadioButton, L"完全"},
        {F::idGroupBox1, L" 排除目录 "},
        {F::idWindowsDiskCleanupGroupBox, L" Windows 磁盘清理 "},
        {F::idSetupWindowsDiskCleanupButton, L"设置 Windows 磁盘清理"},
    };
    for (const auto& [id, caption] : captions) EXPECT_EQ(Text(::GetDlgItem(wnd, id)), caption) << "control " << id;
    EXPECT_EQ(form.FileProtection(), L"Smart") << "ticked in the window's design";
    EXPECT_TRUE(HasStyle(::GetDlgItem(wnd, F::idOkButton), BS_DEFPUSHBUTTON));
    EXPECT_TRUE(HasStyle(::GetDlgItem(wnd, F::idExcludeDirectoriesListBox), LBS_SORT));

    // Every control of a group lies inside it, whatever the font's line breaks made of the texts.
    struct TCheck {
        HWND Form;
        std::vector<RECT> Groups;
        int Outside = 0;
    } check{wnd, {}};
    for (int id = F::idGroupBox3; id <= F::idWindowsDiskCleanupGroupBox; ++id)
        check.Groups.push_back(ClientBounds(wnd, id));
    ::EnumChildWindows(
        wnd,
        [](HWND child, LPARAM data) -> BOOL {
            auto& c = *reinterpret_cast<TCheck*>(data);
            const int id = ::GetDlgCtrlID(child);
            if (id == F::idOkButton || id == F::idCancelButton || id >= F::idGroupBox3) return TRUE;
            RECT r, overlap;
            ::GetWindowRect(child, &r);
            ::MapWindowPoints(nullptr, c.Form, reinterpret_cast<POINT*>(&r), 2);
            bool inside = false;
            for (const RECT& g : c.Groups)
                if (::IntersectRect(&overlap, &r, &g) && ::EqualRect(&overlap, &r)) inside = true;
            if (!inside) ++c.Outside;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&check));
    EXPECT_EQ(check.Outside, 0);
}

TEST_F(SetupWindow, ProtectionAndScanModeFollowTheExactWords) {
    TSetupVantrelForm form(nullptr);
    for (const wchar_t* word : {L"None", L"Uptime", L"Week", L"Smart"}) {
        form.SetFileProtection(word);
        EXPECT_EQ(form.FileProtection(), word);
    }
    for (const wchar_t* word : {L"Quick", L"Complete"}) {
        form.SetScanMode(word);
        EXPECT_EQ(form.ScanMode(), word);
    }
    // Any other word, even in another letter case, ticks nothing.
    form.SetFileProtection(L"week");
    form.SetScanMode(L"QUICK");
    EXPECT_EQ(form.FileProtection(), L"");
    EXPECT_EQ(form.ScanMode(), L"");
    // Reading tests the buttons in the order None, Uptime, Week, Smart.
    ::SendMessageW(::GetDlgItem(form.Handle(), F::idFileAgeSmartRadioButton), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(::GetDlgItem(form.Handle(), F::idFileAgeUptimeRadioButton), BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(form.FileProtection(), L"Uptime");
    // A click ticks one button of its own group only.
    Click(form.Handle(), F::idFileAgeWeekRadioButton);
    Click(form.Handle(), F::idScanModeCompleteRadioButton);
    EXPECT_EQ(form.FileProtection(), L"Week");
    EXPECT_EQ(form.ScanMode(), L"Complete");
}

TEST_F(SetupWindow, PlusAddsTheBrowsedFolderSortedAndMinusRemovesTheSelection) {
    TSetupVantrelForm form(nullptr);
    form.AddExcludeDirectory(L"d:\\Zeta");
    form.AddExcludeDirectory(L"C:\\beta");
    GBrowserAnswers = {L"C:\\Alpha", L"", L"C:\\Alpha", L"D:\\"};
    for (int i = 0; i < 4; ++i) Click(form.Handle(), F::idAddExcludeDirectorySpeedButton);
    EXPECT_EQ(GBrowserOwners, std::vector<HWND>(4, form.Handle()));
    // Sorted without regard to case; a cancelled browser adds nothing; a duplicate is kept.
    EXPECT_EQ(form.ExcludeDirectories(), (Strings{L"C:\\Alpha", L"C:\\Alpha", L"C:\\beta", L"D:\\", L"d:\\Zeta"}));
    EXPECT_EQ(form.ExcludeDirectoriesText(), L"C:\\Alpha\r\nC:\\Alpha\r\nC:\\beta\r\nD:\\\r\nd:\\Zeta\r\n");

    Click(form.Handle(), F::idRemoveExcludeDirectorySpeedButton);  // nothing selected
    EXPECT_EQ(form.ExcludeDirectories().size(), 5u);
    SelectEntry(form.Handle(), 2);
    Click(form.Handle(), F::idRemoveExcludeDirectorySpeedButton);
    EXPECT_EQ(form.ExcludeDirectories(), (Strings{L"C:\\Alpha", L"C:\\Alpha", L"D:\\", L"d:\\Zeta"}));
}

TEST_F(SetupWindow, OpensWithOkFocusedEnterIsOkEscapeDoesNothing) {
    TSetupVantrelForm form(nullptr);
    HWND list = ::GetDlgItem(form.Handle(), F::idExcludeDirectoriesListBox);
    WhenShown(L"TSetupVantrelForm", [&](HWND wnd) {
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(wnd, F::idOkButton));
        ::SetFocus(list);
        ::PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(form.ShowModal(nullptr), mrOk);

    TSetupVantrelForm second(nullptr);
    WhenShown(L"TSetupVantrelForm", [&](HWND wnd) { PostCancel(wnd); });
    EXPECT_EQ(second.ShowModal(nullptr), mrCancel);
}

TEST_F(SetupWindow, TheWhitePanelShowsInsideTheGroups) {
    TSetupVantrelForm form(nullptr);
    COLORREF inside = CLR_INVALID, bar = CLR_INVALID;
    WhenShown(L"TSetupVantrelForm", [&](HWND wnd) {
        ::UpdateWindow(wnd);
        const RECT group = ClientBounds(wnd, F::idGroupBox3);
        const RECT ok = ClientBounds(wnd, F::idOkButton);
        HDC dc = ::GetDC(wnd);
        inside = ::GetPixel(dc, group.left + 5, (group.top + group.bottom) / 2);  // left of the radio buttons
        bar = ::GetPixel(dc, ok.left - 3, ok.top + 3);
        ::ReleaseDC(wnd, dc);
        PostOk(wnd);
    });
    form.ShowModal(nullptr);
    EXPECT_EQ(inside, clWhite);
    EXPECT_EQ(bar, ::GetSysColor(COLOR_BTNFACE));
}

TEST_F(SetupWindow, GroupCaptionsAreMaroonWhateverTheTheme) {
    TSetupVantrelForm form(nullptr);
    int maroon = 0, black = 0;
    WhenShown(L"TSetupVantrelForm", [&](HWND wnd) {
        ::UpdateWindow(wnd);
        const RECT group = ClientBounds(wnd, F::idGroupBox3);
        HDC dc = ::GetDC(wnd);
        for (int y = group.top; y < group.top + 14; ++y)
            for (int x = group.left; x < group.left + 120; ++x) {
                const COLORREF c = ::GetPixel(dc, x, y);
                if (c == clMaroon) ++maroon;
                if (c == RGB(0, 0, 0)) ++black;
            }
        ::ReleaseDC(wnd, dc);
        PostOk(wnd);
    });
    form.ShowModal(nullptr);
    EXPECT_GT(maroon, 10);
    EXPECT_EQ(black, 0);
}

TEST_F(SetupWindow, ShellFolderBrowserHasItsTitleAndGivesTheFolderPath) {
    SetFolderBrowserForTesting(nullptr);
    TScratchFolder scratch(L"setup-browse");
    const std::wstring folder = scratch.Path().substr(0, scratch.Path().size() - 1);
    TSetupVantrelForm form(nullptr);
    bool titleFound = false;
    WhenShown(L"#32770", [&](HWND browser) {
        ::EnumChildWindows(
            browser,
            [](HWND child, LPARAM found) -> BOOL {
                if (Text(child) == L"选择要排除的目录") *reinterpret_cast<bool*>(found) = true;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&titleFound));
        ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        ::PostMessageW(browser, WM_COMMAND, IDOK, 0);
    });
    Click(form.Handle(), F::idAddExcludeDirectorySpeedButton);
    EXPECT_TRUE(titleFound);
    // Wine fills the folder tree asynchronously, so under load the selection may
    // still be on the desktop when OK arrives; either way the browser's choice
    // arrives as one existing folder path.
    ASSERT_EQ(form.ExcludeDirectories().size(), 1u);
    const std::wstring chosen = form.ExcludeDirectories()[0];
    EXPECT_TRUE(chosen == folder || PathExists(chosen)) << "not a folder path";
}

// --- The disk cleanup group ---

std::wstring TestDirectory() {
    wchar_t module[MAX_PATH] = {};
    std::wstring path(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH));
    if (!PathExists(path) && path.rfind(L"unix\\", 0) == 0) path = L"\\\\?\\" + path;
    return path.substr(0, path.rfind(L'\\') + 1);
}

bool Shown(HWND form, int id) { return HasStyle(::GetDlgItem(form, id), WS_VISIBLE); }

TEST_F(SetupWindow, WithoutTheDiskCleanupToolOnlyTheExcludedDirectoriesGroupShows) {
    TSandboxLock lock(L"DiskCleanupTool");
    if (DiskCleanupExists()) GTEST_SKIP() << "the sandbox has a cleanmgr.exe";
    TSetupVantrelForm form(nullptr);
    EXPECT_TRUE(Shown(form.Handle(), F::idGroupBox1));
    EXPECT_TRUE(Shown(form.Handle(), F::idExcludeDirectoriesListBox));
    EXPECT_FALSE(Shown(form.Handle(), F::idWindowsDiskCleanupGroupBox));
    EXPECT_FALSE(Shown(form.Handle(), F::idLabel16));
    EXPECT_FALSE(Shown(form.Handle(), F::idSetupWindowsDiskCleanupButton));
}

TEST_F(SetupWindow, WithTheDiskCleanupToolItsButtonRunsTheToolsSetUp) {
    TSandboxLock lock(L"DiskCleanupTool");
    const std::wstring system = GetWindowsDir() + L"system32\\";
    const std::wstring tool = system + L"cleanmgr.exe", log = system + L"cleanmgr-args.log";
    if (PathExists(tool)) GTEST_SKIP() << "a real cleanmgr.exe is present";
    ASSERT_TRUE(::CopyFileW((TestDirectory() + L"cleanmgr-standin.exe").c_str(), tool.c_str(), TRUE));
    ::DeleteFileW(log.c_str());
    wchar_t saved[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ::SetCurrentDirectoryW(system.c_str());  // ours may be a Unix path the tool cannot inherit
    {
        TSetupVantrelForm form(nullptr);
        EXPECT_TRUE(Shown(form.Handle(), F::idWindowsDiskCleanupGroupBox));
        EXPECT_TRUE(Shown(form.Handle(), F::idSetupWindowsDiskCleanupButton));
        Click(form.Handle(), F::idSetupWindowsDiskCleanupButton);
        EXPECT_EQ(ReadTestFile(log), "/dc /sageset: 1\r\n") << "the tool ended before the click returned";
        EXPECT_TRUE(::IsWindowEnabled(form.Handle()));
    }
    ::SetCurrentDirectoryW(saved);
    ::DeleteFileW(tool.c_str());
    ::DeleteFileW(log.c_str());
}

// --- The main window's set-up command ---

TXMLVantrelSettingsType MakeSettings(const std::wstring& protection, const std::wstring& scanMode,
                                     const Strings& directories) {
    TXMLVantrelSettingsType settings = NewVantrelSettings();
    settings.Options().SetFileProtection(protection);
    settings.Options().SetScanMode(scanMode);
    StoreExcludeDirectories(settings, directories);
    return settings;
}

class SetupCommand : public SetupWindow {
protected:
    // Runs the command; Actions work on the shown window, then OK (or Cancel) closes it.
    bool Run(TXMLVantrelSettingsType& settings, std::function<void(HWND)> actions, bool ok = true,
             HWND owner = nullptr) {
        WhenShown(L"TSetupVantrelForm", [=](HWND form) {
            if (actions) actions(form);
            ok ? PostOk(form) : PostCancel(form);
        });
        return RunSetupCommand(
            owner, settings,
            [this](const std::wstring& text, TStatusSnapshot& snapshot) {
                FSteps.push_back(L"begin " + text);
                snapshot = TStatusSnapshot{L"one", L"two", true};
            },
            [this](const TStatusSnapshot& snapshot) {
                FSteps.push_back(L"end");
                EXPECT_EQ(snapshot.Status1 + L"|" + snapshot.Status2, L"one|two");
            },
            [this, &settings] {
                FSteps.push_back(L"load");
                FDirectoriesAtLoad = LoadExcludeDirectories(settings);
            },
            [this] {
                FSteps.push_back(L"restart");
                EXPECT_EQ(FindThreadWindow(L"TSetupVantrelForm", true), nullptr) << "the window is released first";
            },
            FSynced);
    }
    Strings FSteps, FDirectoriesAtLoad, FSynced;
};

const Strings NoChangeSteps = {L"begin 设置...", L"end"};
const Strings ChangeSteps = {L"begin 设置...", L"load", L"end", L"restart"};

TEST_F(SetupCommand, OkWithoutChangeWritesNothingAndStartsNoReading) {
    auto settings = MakeSettings(L"Week", L"Quick", {L"D:\\z", L"C:\\a"});
    const std::string before = settings.SaveToUtf8();
    EXPECT_FALSE(Run(settings, [](HWND form) {
        Click(form, F::idScanModeQuickRadioButton);  // the value it has already
    }));
    EXPECT_EQ(FSteps, NoChangeSteps);
    EXPECT_EQ(settings.SaveToUtf8(), before) << "not even the order of the directories";
}

TEST_F(SetupCommand, AddingAndRemovingAFolderIsNoChange) {
    auto settings = MakeSettings(L"Smart", L"Complete", {L"C:\\a", L"C:\\c"});
    const std::string before = settings.SaveToUtf8();
    GBrowserAnswers = {L"C:\\b"};
    EXPECT_FALSE(Run(settings, [](HWND form) {
        Click(form, F::idAddExcludeDirectorySpeedButton);
        SelectEntry(form, 1);
        Click(form, F::idRemoveExcludeDirectorySpeedButton);
    }));
    EXPECT_EQ(FSteps, NoChangeSteps);
    EXPECT_EQ(settings.SaveToUtf8(), before);
}

TEST_F(SetupCommand, CancelKeepsEveryChangeOut) {
    auto settings = MakeSettings(L"Smart", L"Complete", {});
    const std::string before = settings.SaveToUtf8();
    GBrowserAnswers = {L"C:\\b"};
    EXPECT_FALSE(Run(settings, [](HWND form) {
        Click(form, F::idFileAgeNoneRadioButton);
        Click(form, F::idAddExcludeDirectorySpeedButton);
    }, false));
    EXPECT_EQ(FSteps, NoChangeSteps);
    EXPECT_EQ(settings.SaveToUtf8(), before);
}

TEST_F(SetupCommand, OnlyTheScanModeChangedIsStoredAndReadingRestarts) {
    auto settings = MakeSettings(L"Uptime", L"Quick", {L"C:\\a"});
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(Run(settings, [owner](HWND form) {
        EXPECT_FALSE(::IsWindowEnabled(owner)) << "modal to the main window";
        Click(form, F::idScanModeCompleteRadioButton);
    }, true, owner));
    EXPECT_TRUE(::IsWindowEnabled(owner));
    ::DestroyWindow(owner);
    EXPECT_EQ(FSteps, ChangeSteps);
    EXPECT_EQ(settings.Options().ScanMode(), L"Complete");
    EXPECT_EQ(settings.Options().FileProtection(), L"Uptime");
    EXPECT_EQ(LoadExcludeDirectories(settings), Strings{L"C:\\a"});
}

TEST_F(SetupCommand, DirectoriesAreStoredInListOrderWithDuplicates) {
    auto settings = MakeSettings(L"Smart", L"Complete", {L"D:\\z", L"c:\\B", L"C:\\a"});
    GBrowserAnswers = {L"C:\\m", L"C:\\m"};
    EXPECT_TRUE(Run(settings, [](HWND form) {
        Click(form, F::idAddExcludeDirectorySpeedButton);
        Click(form, F::idAddExcludeDirectorySpeedButton);
    }));
    const Strings expected = {L"C:\\a", L"c:\\B", L"C:\\m", L"C:\\m", L"D:\\z"};
    EXPECT_EQ(LoadExcludeDirectories(settings), expected);
    EXPECT_EQ(FDirectoriesAtLoad, expected) << "the reader reloads from the updated settings";
    EXPECT_EQ(FSteps, ChangeSteps);

    // A change of the protection alone stores the list in its sorted order too.
    auto unsorted = MakeSettings(L"Smart", L"Complete", {L"D:\\z", L"C:\\a"});
    FSteps.clear();
    EXPECT_TRUE(Run(unsorted, [](HWND form) { Click(form, F::idFileAgeWeekRadioButton); }));
    EXPECT_EQ(unsorted.Options().FileProtection(), L"Week");
    EXPECT_EQ(LoadExcludeDirectories(unsorted), (Strings{L"C:\\a", L"D:\\z"}));
}

TEST_F(SetupCommand, AnErrorStillRestoresTheStatusAreaAndReleasesTheWindow) {
    TXMLVantrelSettingsType noDocument;
    EXPECT_THROW(Run(noDocument, nullptr), EAssertionFailed);
    EXPECT_EQ(FSteps, NoChangeSteps);
    EXPECT_EQ(FindThreadWindow(L"TSetupVantrelForm", true), nullptr);
}

}  // namespace

RECT ControlRect(HWND form, int id) {
    RECT rect{};
    ::GetWindowRect(::GetDlgItem(form, id), &rect);
    return rect;
}

// Synced folders are listed under the excluded ones with their heading, to be
// read, not chosen; storing the excluded folders never takes them along.
TEST_F(SetupCommand, SyncedFoldersAreShownReadOnlyAndNeverStored) {
    auto settings = MakeSettings(L"Smart", L"Complete", {L"C:\\a"});
    FSynced = {L"D:\\Dropbox  (Dropbox)", L"C:\\Users\\me\\OneDrive  (OneDrive)"};
    EXPECT_TRUE(Run(settings, [](HWND form) {
        EXPECT_TRUE(Shown(form, F::idSyncedFoldersLabel));
        EXPECT_TRUE(Shown(form, F::idSyncedFoldersListBox));
        EXPECT_EQ(WindowText(::GetDlgItem(form, F::idSyncedFoldersLabel)), L"同步文件夹 (不会清理)");
        HWND synced = ::GetDlgItem(form, F::idSyncedFoldersListBox);
        EXPECT_TRUE(HasStyle(synced, LBS_NOSEL));
        EXPECT_FALSE(HasStyle(synced, WS_TABSTOP));
        EXPECT_EQ(::SendMessageW(synced, LB_GETCOUNT, 0, 0), 2);
        EXPECT_LT(ControlRect(form, F::idExcludeDirectoriesListBox).bottom, ControlRect(form, F::idSyncedFoldersLabel).top);
        EXPECT_LT(ControlRect(form, F::idSyncedFoldersLabel).bottom, ControlRect(form, F::idSyncedFoldersListBox).top + 1);
        Click(form, F::idFileAgeWeekRadioButton);  // a change: the excluded folders are stored
    }));
    EXPECT_EQ(FSteps, ChangeSteps);
    EXPECT_EQ(LoadExcludeDirectories(settings), Strings{L"C:\\a"});
}

// Without synced folders their heading and list are hidden and the excluded
// list reaches down to where theirs would end.
TEST_F(SetupWindow, WithoutSyncedFoldersTheExcludedListTakesTheirRoom) {
    TSetupVantrelForm form(nullptr);
    const RECT full = ControlRect(form.Handle(), F::idExcludeDirectoriesListBox);
    EXPECT_FALSE(Shown(form.Handle(), F::idSyncedFoldersLabel));
    EXPECT_FALSE(Shown(form.Handle(), F::idSyncedFoldersListBox));
    EXPECT_EQ(full.bottom, ControlRect(form.Handle(), F::idSyncedFoldersListBox).bottom);
    form.SetSyncedFolders({L"D:\\Dropbox  (Dropbox)"});
    EXPECT_LT(ControlRect(form.Handle(), F::idExcludeDirectoriesListBox).bottom, full.bottom);
    EXPECT_EQ(form.SyncedFolders(), Strings{L"D:\\Dropbox  (Dropbox)"});
    form.SetSyncedFolders({});
    EXPECT_EQ(ControlRect(form.Handle(), F::idExcludeDirectoriesListBox).bottom, full.bottom);
}

namespace {

void ChooseLanguageRow(HWND form, int row) {
    ::SendMessageW(::GetDlgItem(form, F::idLanguageComboBox), CB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

Strings LanguageRows(HWND form) {
    HWND list = ::GetDlgItem(form, F::idLanguageComboBox);
    Strings rows;
    for (int i = 0; i < static_cast<int>(::SendMessageW(list, CB_GETCOUNT, 0, 0)); ++i) {
        wchar_t text[64] = {};
        ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        rows.push_back(text);
    }
    return rows;
}

// The language takes effect at the next start: it is stored, and no reading starts.
TEST_F(SetupCommand, AChosenLanguageIsStoredForTheNextStartAndAutomaticLeavesNoTrace) {
    auto settings = MakeSettings(L"Smart", L"Complete", {});
    const std::string before = settings.SaveToUtf8();
    EXPECT_FALSE(Run(settings, [](HWND form) {
        EXPECT_EQ(WindowText(::GetDlgItem(form, F::idLanguageLabel)), L"语言 / Language:");
        EXPECT_EQ(LanguageRows(form), (Strings{L"自动", L"中文", L"English"}));
        EXPECT_EQ(WindowText(::GetDlgItem(form, F::idLanguageNote)), L"(下次启动时生效)");
        EXPECT_EQ(::SendMessageW(::GetDlgItem(form, F::idLanguageComboBox), CB_GETCURSEL, 0, 0), 0);
        ChooseLanguageRow(form, 2);
    }));
    EXPECT_EQ(FSteps, NoChangeSteps);
    EXPECT_EQ(settings.Options().Language(), L"en");
    FSteps.clear();
    EXPECT_FALSE(Run(settings, [](HWND form) {
        EXPECT_EQ(::SendMessageW(::GetDlgItem(form, F::idLanguageComboBox), CB_GETCURSEL, 0, 0), 2);
        ChooseLanguageRow(form, 1);
    }));
    EXPECT_EQ(settings.Options().Language(), L"zh");
    EXPECT_FALSE(Run(settings, [](HWND form) { ChooseLanguageRow(form, 0); }));
    EXPECT_EQ(settings.SaveToUtf8(), before) << "Automatic removes the attribute again";
    // Cancel keeps the choice out.
    EXPECT_FALSE(Run(settings, [](HWND form) { ChooseLanguageRow(form, 2); }, false));
    EXPECT_EQ(settings.SaveToUtf8(), before);
}

}  // namespace
