// Recycle bin and disk cleanup routines against the sandbox's shell.
#include "engine/SystemRoutines.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <vector>

TEST(SystemRoutinesRecycleBin, CountsSizesAndEmpties) {
    ASSERT_TRUE(TrashIsInsideTheSandbox()) << "refusing to touch a recycle bin outside build/wine-*";
    TSandboxLock lock(L"RecycleBin");
    TWineAnswerForTesting asOnWindows(false);
    ASSERT_NE(LoadShellLibrary(), nullptr);
    EXPECT_EQ(LoadShellLibrary(), LoadShellLibrary());
    ASSERT_TRUE(CanEmptyRecycleBin());

    EmptyRecycleBin();
    EXPECT_EQ(QueryRecycleBin(false), 0);
    EXPECT_EQ(QueryRecycleBin(true), 0);

    TScratchFolder folder(L"recycle");
    const std::wstring first = folder.Path() + L"first.tmp", second = folder.Path() + L"second.tmp";
    ASSERT_TRUE(WriteTestFile(first, std::string(1000, 'a')));
    ASSERT_TRUE(WriteTestFile(second, std::string(234, 'b')));
    ASSERT_TRUE(Recycle(first));
    ASSERT_TRUE(Recycle(second));
    ASSERT_FALSE(PathExists(first));

    EXPECT_EQ(QueryRecycleBin(false), 2);
    EXPECT_EQ(QueryRecycleBin(true), 1234);

    EmptyRecycleBin();
    EXPECT_EQ(QueryRecycleBin(false), 0);
    EXPECT_EQ(QueryRecycleBin(true), 0);
}

// Under Wine the bin is the Linux trash, where Wine's emptying deletes the
// targets of trashed file links: the program leaves it alone there.
TEST(SystemRoutinesRecycleBin, UnderWineTheBinIsLeftAsItIs) {
    ASSERT_TRUE(TrashIsInsideTheSandbox()) << "refusing to touch a recycle bin outside build/wine-*";
    TSandboxLock lock(L"RecycleBin");
    ASSERT_TRUE(RunningUnderWine()) << "these tests run under Wine";
    TScratchFolder folder(L"recycle");
    const std::wstring item = folder.Path() + L"kept.tmp";
    {
        TWineAnswerForTesting asOnWindows(false);
        EmptyRecycleBin();
    }
    ASSERT_TRUE(WriteTestFile(item, "k"));
    ASSERT_TRUE(Recycle(item));
    EmptyRecycleBin();
    EXPECT_EQ(QueryRecycleBin(false), 1);
    TWineAnswerForTesting asOnWindows(false);
    EmptyRecycleBin();
    EXPECT_EQ(QueryRecycleBin(false), 0);
}

// --- Disk cleanup tool ---

namespace {

// The folder of this executable. Started from a Unix path in a sandbox without
// a Z: drive, Wine names the module "unix\work\..."; its NT form "\\?\unix\..." opens.
std::wstring TestDirectory() {
    wchar_t module[MAX_PATH] = {};
    std::wstring path(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH));
    if (!PathExists(path) && path.rfind(L"unix\\", 0) == 0) path = L"\\\\?\\" + path;
    return path.substr(0, path.rfind(L'\\') + 1);
}

// Puts the stand-in in the place of system32\cleanmgr.exe and takes it away again.
class SystemRoutinesDiskCleanup : public ::testing::Test {
protected:
    void SetUp() override {
        FSystem = GetWindowsDir() + L"system32\\";
        if (PathExists(FSystem + L"cleanmgr.exe")) GTEST_SKIP() << "a real cleanmgr.exe is present";
        ASSERT_TRUE(::CopyFileW((TestDirectory() + L"cleanmgr-standin.exe").c_str(), Tool().c_str(), TRUE))
            << "cleanmgr-standin.exe not found beside the test executable";
        ::DeleteFileW(Log().c_str());
        FInstalled = true;
        // The tool inherits the working directory; ours may be a Unix path Wine cannot enter.
        wchar_t current[MAX_PATH] = {};
        FSavedDirectory.assign(current, ::GetCurrentDirectoryW(MAX_PATH, current));
        ::SetCurrentDirectoryW(FSystem.c_str());
    }
    void TearDown() override {
        if (!FInstalled) return;
        ::SetCurrentDirectoryW(FSavedDirectory.c_str());
        ::DeleteFileW(Tool().c_str());
        ::DeleteFileW(Log().c_str());
    }

    std::wstring Tool() const { return FSystem + L"cleanmgr.exe"; }
    std::wstring Log() const { return FSystem + L"cleanmgr-args.log"; }

    TSandboxLock FLock{L"DiskCleanupTool"};
    std::wstring FSystem, FSavedDirectory;
    bool FInstalled = false;
};

// A hidden window that counts the messages it is sent.
class TMessageCounter {
public:
    TMessageCounter() {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VantrelTestsMessageCounter";
        ::RegisterClassW(&windowClass);
        FWindow = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    }
    TMessageCounter(const TMessageCounter&) = delete;
    TMessageCounter& operator=(const TMessageCounter&) = delete;
    ~TMessageCounter() { ::DestroyWindow(FWindow); }

    HWND Window() const { return FWindow; }
    static int Count;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_APP) ++Count;
        return ::DefWindowProcW(window, message, w, l);
    }
    HWND FWindow = nullptr;
};
int TMessageCounter::Count = 0;

}  // namespace

TEST_F(SystemRoutinesDiskCleanup, RunsTheToolAndWaitsForItWhileDispatchingMessages) {
    ASSERT_TRUE(DiskCleanupExists());
    TMessageCounter counter;
    TMessageCounter::Count = 0;
    ASSERT_TRUE(::PostMessageW(counter.Window(), WM_APP, 0, 0));

    const auto started = std::chrono::steady_clock::now();
    RunDiskCleanup();
    const auto elapsed = std::chrono::steady_clock::now() - started;

    // The stand-in writes its arguments only after ~300 ms, just before it exits.
    EXPECT_EQ(ReadTestFile(Log()), "/dc /sagerun: 1\r\n");
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    EXPECT_EQ(TMessageCounter::Count, 1);
}

// A tool that takes long to wait for input must not freeze the windows: the idle
// wait is sliced, with messages handled in between.
TEST_F(SystemRoutinesDiskCleanup, MessagesAreHandledWhileTheToolIsStillBusy) {
    static std::vector<ULONGLONG> ticks;
    ticks.clear();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 40, [](HWND, UINT, UINT_PTR, DWORD) {
        ticks.push_back(::GetTickCount64());
    });
    ::SetEnvironmentVariableW(L"VT_CLEANMGR_BUSY_MS", L"1500");
    const ULONGLONG started = ::GetTickCount64();
    RunDiskCleanup();
    const ULONGLONG ended = ::GetTickCount64();
    ::SetEnvironmentVariableW(L"VT_CLEANMGR_BUSY_MS", nullptr);
    ::KillTimer(nullptr, timer);

    EXPECT_EQ(ReadTestFile(Log()), "/dc /sagerun: 1\r\n");
    EXPECT_GE(ended - started, 1500u);
    ASSERT_GE(ticks.size(), 10u) << "the timer hardly ran while the tool was busy";
    ULONGLONG longestGap = ticks.front() - started;
    for (size_t i = 1; i < ticks.size(); ++i) longestGap = std::max(longestGap, ticks[i] - ticks[i - 1]);
    EXPECT_LT(longestGap, 500u);
}

TEST_F(SystemRoutinesDiskCleanup, SetupPassesTheSagesetSwitch) {
    SetupDiskCleanup();
    EXPECT_EQ(ReadTestFile(Log()), "/dc /sageset: 1\r\n");
}

TEST_F(SystemRoutinesDiskCleanup, MissingToolDoesNothing) {
    ASSERT_TRUE(::DeleteFileW(Tool().c_str()));
    EXPECT_FALSE(DiskCleanupExists());
    RunDiskCleanup();
    SetupDiskCleanup();
    EXPECT_FALSE(PathExists(Log()));
}
