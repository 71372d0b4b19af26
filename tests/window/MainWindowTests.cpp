// The main window in a real window under Xvfb: creation with and without a
// settings file, the command states of the passes, the stored directory counts,
// the candidate folders removed after a cleanup, the selection commands and hints.
// The passes read the test sandbox's own C: drive (no Z:; see scripts/lib/sandbox.sh).
#include "catalogue/FileMaskClasses.h"
#include "catalogue/Winapp2Action.h"
#include "engine/SystemRoutines.h"
#include "platform/Gdi.h"
#include "settings/VantrelData.h"
#include "support/TempFolder.h"
#include "ui/Application.h"
#include "ui/VantrelUnit.h"
#include "window/MainWindowFixture.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace {


void WriteFile(const std::wstring& path, const std::string& text) {
    const size_t slash = path.find_last_of(L'\\');
    ::SHCreateDirectoryExW(nullptr, path.substr(0, slash).c_str(), nullptr);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
}

std::string ReadFileText(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string text(1 << 20, '\0');
    DWORD read = 0;
    ::ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    ::CloseHandle(h);
    text.resize(read);
    return text;
}

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

void SetAccessedDaysAgo(const std::wstring& path, int days) {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value{{now.dwLowDateTime, now.dwHighDateTime}};
    value.QuadPart -= static_cast<ULONGLONG>(days) * 86400ULL * 10000000ULL;
    SetLastAccessTime(path, FILETIME{value.LowPart, value.HighPart});
}

template <class T>
int RowOf(TVantrelForm& form) {
    for (int row = 0; row < form.ActionList().Count(); ++row)
        if (dynamic_cast<T*>(&form.ActionList().Items(row)) != nullptr) return row;
    return -1;
}

using MainWindow = MainWindowFixture;

TEST_F(MainWindow, WithoutSettingsEveryActionHasItsDefaultTickAndAllIsWrittenAtExit) {
    OpenAndRead();
    TCleanupList& list = Form->ActionList();
    ASSERT_GT(list.Count(), 10);
    EXPECT_EQ(Form->CleanupActionsListBox().Count(), list.Count());
    for (int row = 0; row < list.Count(); ++row) {
        EXPECT_EQ(Form->CleanupActionsListBox().RowText(row), list.Items(row).Name);
        EXPECT_EQ(Form->CleanupActionsListBox().Checked(row), list.Items(row).DefaultChecked) << row;
    }
    EXPECT_EQ(Form->Settings()->Options().FileProtection(), L"Smart");
    EXPECT_EQ(Form->Settings()->Options().ScanMode(), L"Complete");
    EXPECT_GT(LoadReadDirCount(Form->Settings()->Options(), L"Complete"), 0);
    EXPECT_EQ(Form->Status2Text(), L"按下 \"清理\" 执行选定的清理操作。单击一个清理操作可以获取详细资料。");
    std::vector<std::wstring> names;
    for (int row = 0; row < list.Count(); ++row) names.push_back(list.Items(row).Name);
    Close();

    const std::string saved = ReadFileText(SettingsFile);
    size_t at = 0;
    for (const auto& name : names) {
        at = saved.find("Name=\"" + Utf8(name) + "\"", at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << Utf8(name);
    }
    EXPECT_NE(saved.find("ReadDirCountComplete=\""), std::string::npos);
    EXPECT_TRUE(GShownErrors.empty());
}

// A settings file it cannot read: the box says why, the window offers the
// default ticks and says so where the user looks next, and only a click cleans.
TEST_F(MainWindow, AnUnreadableSettingsFileShowsTheErrorAndSaysTheTicksAreTheDefaults) {
    WriteFile(SettingsFile, "<?xml version=\"1.0\"?><VantrelSettings><CleanupItems><CleanupItem Name=\"x\" Ena");
    OpenAndRead();
    ASSERT_EQ(GShownErrors.size(), 1u);
    EXPECT_NE(GShownErrors[0].find(L"不是有效的 XML"), std::wstring::npos) << Utf8(GShownErrors[0]);
    EXPECT_EQ(Form->Status2Text(), L"设置文件无法读取, 显示的是默认选择。按下 \"清理\" 才会清理。");
    TCleanupList& list = Form->ActionList();
    for (int row = 0; row < list.Count(); ++row)
        EXPECT_EQ(Form->CleanupActionsListBox().Checked(row), list.Items(row).DefaultChecked) << row;
    Close();
    EXPECT_EQ(ReadFileText(SettingsFile + L".unreadable"),
              "<?xml version=\"1.0\"?><VantrelSettings><CleanupItems><CleanupItem Name=\"x\" Ena");
    ::DeleteFileW((SettingsFile + L".unreadable").c_str());
}

TEST_F(MainWindow, TheGaugeIsANavyBarOverItsWholeHeightWithoutAFrame) {
    OpenAndRead();
    HWND gauge = ::FindWindowExW(Form->Handle(), nullptr, PROGRESS_CLASSW, nullptr);
    ASSERT_NE(gauge, nullptr);
    ::ShowWindow(gauge, SW_SHOW);
    ::SendMessageW(gauge, PBM_SETRANGE32, 0, 100);
    ::SendMessageW(gauge, PBM_SETPOS, 50, 0);
    ::RedrawWindow(gauge, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT client;
    ::GetClientRect(gauge, &client);
    ASSERT_GE(client.right, 20);
    HDC dc = ::GetDC(gauge);
    const COLORREF topLeft = ::GetPixel(dc, 0, 0), bottomLeft = ::GetPixel(dc, 0, client.bottom - 1);
    const COLORREF rest = ::GetPixel(dc, client.right - 1, client.bottom - 1);
    ::ReleaseDC(gauge, dc);
    EXPECT_EQ(topLeft, clNavy);
    EXPECT_EQ(bottomLeft, clNavy);
    EXPECT_EQ(rest, RGB(255, 255, 255));
    ::ShowWindow(gauge, SW_HIDE);
}

TEST_F(MainWindow, TicksComeFromTheSettingsAndUnknownEntriesAreDropped) {
    WriteFile(SettingsFile,
              "<?xml version=\"1.0\"?><VantrelSettings><Options FileProtection=\"smart\" ScanMode=\"Fast\" "
              "ReadDirCountComplete=\"abc\"/><CleanupItems>"
              "<CleanupItem Name=\"" + Utf8(L"删除备份文件 (*.bak, *.old, *.000)") + "\" Enabled=\"False\"/>"
              "<CleanupItem Name=\"" + Utf8(L"删除 Windows 日志文件") + "\" Enabled=\"True\"/>"
              "<CleanupItem Name=\"No such action\" Enabled=\"True\"/></CleanupItems></VantrelSettings>");
    OpenAndRead();
    const int backup = RowOf<TDeleteBackupFiles>(*Form);
    const int logs = RowOf<TDeleteWindowsLogFiles>(*Form);
    ASSERT_GE(backup, 0);
    ASSERT_GE(logs, 0);
    EXPECT_FALSE(Form->CleanupActionsListBox().Checked(backup));
    EXPECT_TRUE(Form->CleanupActionsListBox().Checked(logs));
    EXPECT_EQ(Form->Settings()->Options().FileProtection(), L"Smart");
    EXPECT_EQ(Form->Settings()->Options().ScanMode(), L"Complete");
    Close();
    const std::string saved = ReadFileText(SettingsFile);
    EXPECT_EQ(saved.find("No such action"), std::string::npos);
    EXPECT_NE(saved.find("FileProtection=\"Smart\""), std::string::npos);
}

struct TReadingObservation {
    TVantrelForm* Form = nullptr;
    std::vector<std::wstring> Menu;
    bool Gauge = false;
    bool Button = true;
};
TReadingObservation GObserved;

// A thread timer fires inside the walk's message processing: the window as the user sees it mid-pass.
void CALLBACK ObserveReading(HWND, UINT, UINT_PTR, DWORD) {
    if (GObserved.Form == nullptr || !GObserved.Form->Reading() || !GObserved.Menu.empty()) return;
    GObserved.Menu = GObserved.Form->FileMenuTexts();
    GObserved.Gauge = GObserved.Form->GaugeVisible();
    GObserved.Button = GObserved.Form->CleanButtonVisible();
}

TEST_F(MainWindow, CommandsFollowReadingIdleAndCleaning) {
    GObserved = TReadingObservation{};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 1, ObserveReading);
    Form = std::make_unique<TVantrelForm>(false);
    GObserved.Form = Form.get();
    ASSERT_TRUE(PumpUntil([&] { return Form->Status1Text().rfind(L"当前可用空间 ", 0) == 0; }));
    ::KillTimer(nullptr, timer);
    const auto whileReading = GObserved.Menu;
    const bool gaugeWhileReading = GObserved.Gauge, buttonWhileReading = GObserved.Button;
    // The reading pass keeps the window responsive, so the pump above ran inside it.
    EXPECT_EQ(whileReading, (std::vector<std::wstring>{L"停止读取(&S)", L"退出(&X)"}));
    EXPECT_TRUE(gaugeWhileReading);
    EXPECT_FALSE(buttonWhileReading);
    EXPECT_EQ(Form->FileMenuTexts(), (std::vector<std::wstring>{L"重新读取(&R)", L"清理(&C)", L"其他应用程序(&W)...", L"退出(&X)"}));
    EXPECT_FALSE(Form->GaugeVisible());
    EXPECT_TRUE(Form->CleanButtonVisible());

    // Cleaning: observed from inside the pass through the status texts of an action.
    Form->DeselectAllItemsActionExecute();
    const int temp = RowOf<TEmptyUserTemporaryDirectory>(*Form);
    ASSERT_GE(temp, 0);
    Form->CleanupActionsListBox().SetChecked(temp, true);
    TTempFolder folder(L"states");
    const std::wstring file = folder.CreateFile(L"old.dat");
    SetAccessedDaysAgo(file, 30);
    Form->ActionList().ClearFoundFiles();
    ASSERT_TRUE(Form->ActionList().AddFoundFile(file, L"None"));
    std::vector<std::wstring> whileCleaning;
    bool enabledWhileCleaning = true, setupWhileCleaning = true;
    auto& action = Form->ActionList().Items(temp);
    auto forward = action.OnStatus;
    action.OnStatus = [&](TCleanupCustomItem* sender, const std::wstring& text) {
        whileCleaning = Form->FileMenuTexts();
        enabledWhileCleaning = ::IsWindowEnabled(Form->Handle()) != FALSE;
        setupWhileCleaning = Form->SetupEnabled();
        forward(sender, text);
    };
    Form->StartCleanupActionExecute();
    EXPECT_EQ(whileCleaning, (std::vector<std::wstring>{L"停止读取(&S) (disabled)", L"退出(&X)"}));
    EXPECT_FALSE(enabledWhileCleaning);
    EXPECT_FALSE(setupWhileCleaning);
    EXPECT_TRUE(Form->SetupEnabled());
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(::IsWindowEnabled(Form->Handle()));
    EXPECT_EQ(Form->FileMenuTexts(), (std::vector<std::wstring>{L"重新读取(&R)", L"清理(&C)", L"其他应用程序(&W)...", L"退出(&X)"}));
    EXPECT_EQ(Form->Status1Text().rfind(L"通过清理释放的空间: ", 0), 0u) << Utf8(Form->Status1Text());
    EXPECT_EQ(Form->Status2Text().rfind(L"可用空间总计: ", 0), 0u);
}

TEST(ReadingStatus, PercentageFromTheStoredCount) {
    EXPECT_EQ(ReadingStatusText(500, 2000), L"正在读取磁盘信息...  (25%)");
    EXPECT_EQ(ReadingStatusText(1999, 2000), L"正在读取磁盘信息...  (99%)");
    EXPECT_EQ(ReadingStatusText(2000, 2000), L"正在读取磁盘信息...  (100%)");
    EXPECT_EQ(ReadingStatusText(19, 2000), L"正在读取磁盘信息...");  // below one per cent
    EXPECT_EQ(ReadingStatusText(0, 0), L"正在读取磁盘信息...");      // first pass: no estimate
}

TEST_F(MainWindow, QuickAndCompleteCountsAreKeptApartAndAStoppedPassStoresNothing) {
    WriteFile(SettingsFile,
              "<?xml version=\"1.0\"?><VantrelSettings><Options FileProtection=\"Smart\" ScanMode=\"Quick\" "
              "ReadDirCountComplete=\"7\"/></VantrelSettings>");
    OpenAndRead();
    TXMLOptionsType options = Form->Settings()->Options();
    const int quick = LoadReadDirCount(options, L"Quick");
    EXPECT_GT(quick, 0);
    EXPECT_EQ(options.ReadDirCountComplete(), L"7");

    options.SetScanMode(L"Complete");
    Form->StartReadingActionExecute();  // the whole pass runs inside this call
    EXPECT_EQ(LoadReadDirCount(options, L"Quick"), quick);
    EXPECT_GT(LoadReadDirCount(options, L"Complete"), 7);  // a finished pass stores its count
}

TEST_F(MainWindow, StoppingAPassKeepsTheStoredCounts) {
    OpenAndRead();
    TXMLOptionsType options = Form->Settings()->Options();
    const std::wstring before = options.ReadDirCountComplete();
    // A thread timer fires inside the walk's message processing and stops it.
    static TVantrelForm* current = nullptr;
    current = Form.get();
    UINT_PTR timer = ::SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR, DWORD) { current->StopReadingActionExecute(); });
    Form->StartReadingActionExecute();
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(options.ReadDirCountComplete(), before);
    EXPECT_EQ(Form->Status1Text().rfind(L"当前可用空间 ", 0), 0u);
    EXPECT_FALSE(Form->Reading());
}

TEST_F(MainWindow, EmptiedCandidateFoldersGoChildrenFirstAndFullOnesStay) {
    const std::wstring temp = GetTempDirectory();
    const std::wstring windows = GetWindowsDir();
    const std::wstring root = temp + L"vt-candidates\\";
    const std::wstring uninstall = windows + L"$NtUninstallKB123$";
    ::SHCreateDirectoryExW(nullptr, (root + L"empty\\inner").c_str(), nullptr);
    ::SHCreateDirectoryExW(nullptr, (uninstall + L"\\sub").c_str(), nullptr);
    WriteFile(root + L"kept\\young.dat", "in use");  // accessed now: protected
    OpenAndRead();
    const auto& candidates = Form->EmptyDirCandidates();
    auto has = [&](const std::wstring& dir) {
        for (const auto& c : candidates)
            if (::lstrcmpiW(c.c_str(), dir.c_str()) == 0) return true;
        return false;
    };
    EXPECT_TRUE(has(root + L"empty\\inner"));
    EXPECT_TRUE(has(uninstall + L"\\sub"));
    EXPECT_FALSE(has(windows.substr(0, windows.size() - 1)));
    EXPECT_FALSE(has(temp.substr(0, temp.size() - 1)));

    Form->DeselectAllItemsActionExecute();
    Form->StartCleanupActionExecute();
    EXPECT_FALSE(FileExists(root + L"empty"));
    EXPECT_FALSE(FileExists(uninstall));
    EXPECT_TRUE(FileExists(root + L"kept\\young.dat"));

    // A second cleanup without reading retries the same candidates.
    ::SHCreateDirectoryExW(nullptr, (root + L"empty\\inner").c_str(), nullptr);
    Form->StartCleanupActionExecute();
    EXPECT_FALSE(FileExists(root + L"empty"));
    RemoveTree(root);
}

std::wstring GDetailCaption;
HWND GMainForm = nullptr;

// Notes the caption of the detail window the main window opened, then closes it.
void CALLBACK CloseDetailWindow(HWND, UINT, UINT_PTR, DWORD) {
    HWND active = ::GetActiveWindow();
    if (active == nullptr || active == GMainForm) return;
    wchar_t caption[256] = {};
    ::GetWindowTextW(active, caption, 256);
    GDetailCaption = caption;
    ::PostMessageW(active, WM_KEYDOWN, VK_ESCAPE, 0);
}

TEST_F(MainWindow, SelectionCommandsAndHints) {
    OpenAndRead();
    TActionCheckList& rows = Form->CleanupActionsListBox();
    Form->SelectAllItemsActionExecute();
    for (int row = 0; row < rows.Count(); ++row) EXPECT_TRUE(rows.Checked(row));
    Form->DefaultSelectionActionExecute();
    for (int row = 0; row < rows.Count(); ++row)
        EXPECT_EQ(rows.Checked(row), Form->ActionList().Items(row).DefaultChecked);

    RECT first;
    ::SendMessageW(rows.Handle(), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    ::SendMessageW(rows.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(first.left + 40, first.top + 5));
    std::wstring line1, line2;
    Form->ActionList().Items(0).GetFirstInfoLine(line1);
    Form->ActionList().Items(0).GetSecondInfoLine(line2);
    std::wstring expected = line1 + L"\r" + line2;
    while (!expected.empty() && expected.back() <= L' ') expected.pop_back();  // a missing second line leaves no break
    EXPECT_EQ(rows.Hint(), expected);

    RECT client;
    ::GetClientRect(rows.Handle(), &client);
    const int count = rows.Count();
    RECT last;
    ::SendMessageW(rows.Handle(), LB_GETITEMRECT, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(&last));
    if (last.bottom + 2 < client.bottom) {  // an empty place below the last row of the last column
        ::SendMessageW(rows.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(last.left + 40, last.bottom + 1));
        EXPECT_EQ(rows.Hint(), L"");
    }

    // A click on the box toggles the tick and opens nothing; a click on the text
    // opens the action's detail window (closed here with Escape) and keeps the tick.
    GDetailCaption.clear();
    GMainForm = Form->Handle();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CloseDetailWindow);
    const bool ticked = rows.Checked(0);
    ::SendMessageW(rows.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(first.left + 5, first.top + 5));
    EXPECT_NE(rows.Checked(0), ticked);
    EXPECT_EQ(GDetailCaption, L"");
    ::SendMessageW(rows.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(first.left + 60, first.top + 5));
    ::KillTimer(nullptr, timer);
    EXPECT_NE(rows.Checked(0), ticked);
    EXPECT_EQ(GDetailCaption, Form->ActionList().Items(0).Name);
    EXPECT_TRUE(::IsWindowEnabled(Form->Handle()));
    EXPECT_TRUE(Form->ActionList().Items(0).OnStatus != nullptr);  // given back after the window closed
}

TEST_F(MainWindow, ListShowsTwentyRowsPerColumnForFortyActions) {
    OpenAndRead();
    RECT client;
    ::GetClientRect(Form->CleanupActionsListBox().Handle(), &client);
    const int rows = Form->CleanupActionsListBox().Count();
    EXPECT_EQ(client.bottom, TActionCheckList::RowsFor(rows) * TActionCheckList::RowHeight);
    EXPECT_EQ(TActionCheckList::RowsFor(40), 20);
    EXPECT_EQ(TActionCheckList::RowsFor(39), 20);
    // Every row lies inside the list: no scrolling needed.
    RECT last;
    ::SendMessageW(Form->CleanupActionsListBox().Handle(), LB_GETITEMRECT, static_cast<WPARAM>(rows - 1),
                   reinterpret_cast<LPARAM>(&last));
    EXPECT_LE(last.right, client.right);
    EXPECT_LE(last.bottom, client.bottom);
}

}  // namespace

TEST_F(MainWindow, SizesInTheStatusLinesAndHintsFollowTicksAndCleanup) {
    OpenAndRead();
    Form->DeselectAllItemsActionExecute();
    const std::wstring freeSpace = Form->Status1Text();
    EXPECT_EQ(freeSpace.find(L"可释放"), std::wstring::npos) << Utf8(freeSpace);
    const int temp = RowOf<TEmptyUserTemporaryDirectory>(*Form);
    ASSERT_GE(temp, 0);
    TTempFolder folder(L"sizes");
    const std::wstring file = folder.CreateFile(L"old.dat", 3000);
    Form->ActionList().ClearFoundFiles();
    ASSERT_TRUE(Form->ActionList().AddFoundFile(file, L"None"));

    Form->SelectAllItemsActionExecute();
    EXPECT_EQ(Form->Status1Text(), freeSpace + L" 可释放 2.9 KB.");
    Form->DeselectAllItemsActionExecute();
    EXPECT_EQ(Form->Status1Text(), freeSpace);
    // A click on the box ticks the row and the line follows.
    TActionCheckList& rows = Form->CleanupActionsListBox();
    RECT row;
    ::SendMessageW(rows.Handle(), LB_GETITEMRECT, static_cast<WPARAM>(temp), reinterpret_cast<LPARAM>(&row));
    ::SendMessageW(rows.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(row.left + 5, row.top + 5));
    ASSERT_TRUE(rows.Checked(temp));
    EXPECT_EQ(Form->Status1Text(), freeSpace + L" 可释放 2.9 KB.");
    ::SendMessageW(rows.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(row.left + 40, row.top + 5));
    const std::wstring hint = rows.Hint();
    EXPECT_EQ(hint.rfind(L"找到一个文件。\r"), 0u) << Utf8(hint);
    EXPECT_TRUE(hint.ends_with(L"\r1 个文件, 共 2.9 KB")) << Utf8(hint);

    Form->StartCleanupActionExecute();
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(Form->Status2Text().ends_with(L". 删除了 1 个文件 (2.9 KB).")) << Utf8(Form->Status2Text());
    EXPECT_EQ(Form->LastCleanupPass().BytesDeleted, 3000u);
}

TEST(CleanupTexts, PerActionLogLineAndDeletedFiles) {
    EXPECT_EQ(ActionOutcomeLogText(L"临时文件", TCleanupOutcome{3, 5ull << 30, 1}),
              L"清理操作 \"临时文件\": 删除了 3 个文件, 5368709120 字节 (5 GB), 1 个文件无法删除。");
    EXPECT_EQ(ActionOutcomeLogText(L"备份", TCleanupOutcome{1, 10, 0}),
              L"清理操作 \"备份\": 删除了 1 个文件, 10 字节, 0 个文件无法删除。");
    EXPECT_EQ(DeletedFilesText(TCleanupOutcome{2, 1536, 0}), L"删除了 2 个文件 (1.5 KB).");
}

// The run's last line states what the deleted files took; the free space, which
// moves with everything else on the machine, follows under its own name.
TEST(CleanupTexts, AutoRunLastLineStatesTheDeletedBytes) {
    EXPECT_EQ(AutoRunSummaryText(TCleanupPassResult{true, 4, 0, 648}, false),
              L"自动清理结束: 删除了 4 个文件, 释放了 648 字节, 可用空间增加了 0 字节。");
    EXPECT_EQ(AutoRunSummaryText(TCleanupPassResult{true, 12, 35340000, 12690000}, false),
              L"自动清理结束: 删除了 12 个文件, 释放了 12690000 字节 (12.1 MB), 可用空间增加了 35340000 字节 (33.7 MB)。");
    // A shrink of the free space is no growth.
    EXPECT_EQ(AutoRunSummaryText(TCleanupPassResult{true, 1, -4096, 2048}, true),
              L"自动清理结束: 删除了 1 个文件, 释放了 2048 字节 (2 KB), 可用空间增加了 0 字节。运行中出现了错误 (退出代码 1)。");
    EXPECT_EQ(AutoRunSummaryText(TCleanupPassResult{false, 3, 100, 100}, false), L"自动运行结束, 清理没有完成。");
}

// The cleanup's status line follows an action's per-file texts ten times a
// second, not once per file; the first text of each action shows at once.
TEST_F(MainWindow, CleanupStatusIsDrawnTenTimesASecondNotPerFile) {
    OpenAndRead();
    Form->DeselectAllItemsActionExecute();
    const int temp = RowOf<TEmptyUserTemporaryDirectory>(*Form);
    ASSERT_GE(temp, 0);
    Form->CleanupActionsListBox().SetChecked(temp, true);
    TTempFolder folder(L"throttle");
    Form->ActionList().ClearFoundFiles();
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(Form->ActionList().AddFoundFile(folder.CreateFile(L"f" + std::to_wstring(i) + L".dat"), L"None"));
    auto& action = Form->ActionList().Items(temp);
    auto forward = action.OnStatus;
    std::vector<std::wstring> shown;
    int sent = 0;
    action.OnStatus = [&](TCleanupCustomItem* sender, const std::wstring& text) {
        forward(sender, text);
        ++sent;
        if (shown.empty() || shown.back() != Form->Status2Text()) shown.push_back(Form->Status2Text());
    };
    const uint64_t start = ::GetTickCount64();
    Form->StartCleanupActionExecute();
    const uint64_t elapsed = ::GetTickCount64() - start;
    EXPECT_EQ(sent, 302);  // the progress text, a per cent per file, the empty text
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), action.ProgressText);
    EXPECT_LE(shown.size(), 2 + elapsed / 100) << "in " << elapsed << " ms";
}

TEST_F(MainWindow, Winapp2RowTakesItsTicksFromTheSettingsAndKeepsThoseOfEntriesAway) {
    TTempFolder tmp(L"w2main");
    const std::wstring root = tmp.Path().substr(0, tmp.Path().size() - 1);
    const std::wstring rules = tmp.CreateFolder(L"rules");
    const std::wstring cache = tmp.CreateFile(L"App\\Cache\\page.tmp", 100);
    // Old enough for any protection mode.
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart -= 30ULL * 24 * 3600 * 10000000ULL;
    const FILETIME old{t.LowPart, t.HighPart};
    HANDLE file = ::CreateFileW(cache.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ::SetFileTime(file, &old, &old, &old);
    ::CloseHandle(file);
    WriteFile(rules + L"winapp2.ini", Utf8(L"[App *]\r\nFileKey1=" + root + L"\\App\\Cache|*.tmp\r\n"
                                           L"[Other *]\r\nFileKey1=" + root + L"\\Other|*.log\r\n"));
    SetWinapp2FoldersForTesting({rules});
    struct TReset {
        ~TReset() { SetWinapp2FoldersForTesting({}); }
    } reset;
    WriteFile(SettingsFile, "<?xml version=\"1.0\"?><VantrelSettings><CleanupItems>"
                            "<CleanupItem Name=\"" + Utf8(TCleanupWinapp2Item::ActionName) + "\" Enabled=\"True\"/>"
                            "</CleanupItems><Winapp2Items><Winapp2Item Name=\"App *\" Enabled=\"True\"/>"
                            "<Winapp2Item Name=\"Gone Away *\" Enabled=\"True\"/></Winapp2Items></VantrelSettings>");
    OpenAndRead();
    const int row = Form->Winapp2Row();
    ASSERT_EQ(row, Form->CleanupActionsListBox().Count() - 1);
    EXPECT_TRUE(Form->CleanupActionsListBox().Checked(row));
    EXPECT_EQ(Form->CleanupActionsListBox().RowText(row), L"清理其他应用程序 (winapp2.ini): 已选 1 项");
    const TCleanupWinapp2Item& item = *Form->Winapp2Item();
    ASSERT_EQ(item.FoundFiles.size(), 1u);
    EXPECT_EQ(item.FoundFiles[0], cache);
    Close();
    const std::string saved = ReadFileText(SettingsFile);
    EXPECT_NE(saved.find("<Winapp2Item Name=\"App *\" Enabled=\"True\"/>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<Winapp2Item Name=\"Gone Away *\" Enabled=\"True\"/>"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("Other *"), std::string::npos) << saved;
}

TEST_F(MainWindow, Winapp2RowSaysWhereToPutTheFileWhenThereIsNone) {
    TTempFolder tmp(L"w2none");
    SetWinapp2FoldersForTesting({tmp.Path()});
    struct TReset {
        ~TReset() { SetWinapp2FoldersForTesting({}); }
    } reset;
    OpenAndRead();
    TCleanupWinapp2Item& item = *Form->Winapp2Item();
    item.FileProtection = L"Smart";
    std::wstring first, second;
    item.GetFirstInfoLine(first);
    item.GetSecondInfoLine(second);
    EXPECT_EQ(first, L"没有找到 winapp2.ini。");
    EXPECT_EQ(second, L"请把 winapp2.ini 放在 Vantrel.exe 所在的文件夹或 %APPDATA%\\Holvane\\Vantrel 中。");
    EXPECT_EQ(Form->CleanupActionsListBox().RowText(Form->Winapp2Row()), L"清理其他应用程序 (winapp2.ini)");
}


namespace {

// A settings file as a user with a long pasted list of excluded folders has it
// (24 MB for 300,000): MSXML takes seconds over it, longer than any test step here.
std::string LargeSettingsText(int excluded) {
    std::string text = "<?xml version=\"1.0\"?>\r\n<VantrelSettings>\r\n  <CleanupItems>\r\n    <CleanupItem Name=\"" +
                       Utf8(L"删除备份文件 (*.bak, *.old, *.000)") +
                       "\" Enabled=\"False\"/>\r\n  </CleanupItems>\r\n  <ExcludeDirectories>\r\n";
    for (int i = 0; i < excluded; ++i)
        text += "    <ExcludeDirectory Name=\"C:\\Users\\Test\\Source\\Project" + std::to_string(i) +
                "\\node_modules\"/>\r\n";
    return text + "  </ExcludeDirectories>\r\n</VantrelSettings>\r\n";
}

std::string WholeFile(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string text(::GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    ::ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    ::CloseHandle(h);
    text.resize(read);
    return text;
}

}  // namespace

// Alt+F4 while the settings are still being read: the window goes at once,
// nothing is read or cleaned, and the file is not written over with what little
// (nothing) the window had.
TEST_F(MainWindow, AltF4WhileTheSettingsAreReadClosesAtOnceAndWritesNothing) {
    const std::string text = LargeSettingsText(300000);
    WriteFile(SettingsFile, text);
    GObserved = TReadingObservation{};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 1, ObserveReading);
    Form = std::make_unique<TVantrelForm>(false);
    GObserved.Form = Form.get();
    const HWND window = Form->Handle();
    ASSERT_TRUE(::IsWindowVisible(window)) << "the window waits for its settings before it shows";
    ASSERT_TRUE(Form->SettingsBeingRead());
    EXPECT_EQ(Form->Status1Text(), L"正在读取设置...");
    EXPECT_EQ(Form->FileMenuTexts(), (std::vector<std::wstring>{L"停止读取(&S)", L"退出(&X)"}));

    // What the key press gives the window: Alt held, F4 down.
    const ULONGLONG asked = ::GetTickCount64();
    ::PostMessageW(window, WM_SYSKEYDOWN, VK_F4, (1 << 29) | 1);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindowVisible(window); }));
    const ULONGLONG took = ::GetTickCount64() - asked;
    ::KillTimer(nullptr, timer);
    EXPECT_TRUE(Form->SettingsBeingRead()) << "the file was read before the window closed: nothing was shown";
    EXPECT_LT(took, 200u);
    std::printf("Alt+F4 while 300,000 excluded folders were read: the window was gone after %llu ms\n", took);
    EXPECT_TRUE(GObserved.Menu.empty()) << "a reading pass ran";
    EXPECT_EQ(Form->Settings(), nullptr);
    Close();  // waits for the reading thread, as the program's exit does
    EXPECT_TRUE(WholeFile(SettingsFile) == text) << "the settings file was written";
    EXPECT_EQ(::GetFileAttributesW((SettingsFile + L".new").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW((SettingsFile + L".unreadable").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(GShownErrors.empty());
}

// Stop while the settings are read: they are still taken (ticks and excluded
// folders), but no reading pass follows, and the window is idle.
TEST_F(MainWindow, StopWhileTheSettingsAreReadTakesThemAndReadsNothing) {
    WriteFile(SettingsFile, LargeSettingsText(100000));
    GObserved = TReadingObservation{};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 1, ObserveReading);
    Form = std::make_unique<TVantrelForm>(false);
    GObserved.Form = Form.get();
    ASSERT_TRUE(Form->SettingsBeingRead());
    Form->StopReadingActionExecute();
    ASSERT_TRUE(PumpUntil([&] { return Form->Settings() != nullptr; }));
    // Whatever was posted to start a pass has its turn before this marker.
    constexpr UINT Marker = WM_APP + 77;
    ::PostThreadMessageW(::GetCurrentThreadId(), Marker, 0, 0);
    for (MSG m; ::GetMessageW(&m, nullptr, 0, 0) > 0;) {
        if (m.hwnd == nullptr && m.message == Marker) break;
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
    ::KillTimer(nullptr, timer);
    EXPECT_TRUE(GObserved.Menu.empty()) << "a reading pass ran";
    EXPECT_FALSE(Form->Reading());
    EXPECT_TRUE(Form->CleanButtonVisible());
    EXPECT_EQ(Form->Status1Text().rfind(L"当前可用空间 ", 0), 0u) << Utf8(Form->Status1Text());
    EXPECT_FALSE(Form->CleanupActionsListBox().Checked(RowOf<TDeleteBackupFiles>(*Form)));
    ASSERT_GE(Form->ExcludedFolders().size(), 100000u);
    EXPECT_EQ(Form->ExcludedFolders()[99999], L"C:\\Users\\Test\\Source\\Project99999\\node_modules");
    Close();
    EXPECT_TRUE(GShownErrors.empty());
}
