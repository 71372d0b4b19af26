// The special actions on Windows and Internet Explorer against the sandbox's
// services, and the special-action rows of the catalogue.
#include "catalogue/FileMaskClasses.h"
#include "catalogue/SpecialActionClasses.h"
#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "platform/Registry.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

template <class T>
std::unique_ptr<TCleanupCustomItem> Make() {
    return TCleanupCustomItem::ClassOf<T>().Create();
}

std::wstring FirstLine(TCleanupCustomItem& item) {
    std::wstring text;
    item.GetFirstInfoLine(text);
    return text;
}

std::wstring SecondLine(TCleanupCustomItem& item) {
    std::wstring text;
    item.GetSecondInfoLine(text);
    return text;
}

// The folder of this executable. Started from a Unix path in a sandbox without
// a Z: drive, Wine names the module "unix\work\..."; its NT form "\\?\unix\..." opens.
std::wstring ModulePath() {
    wchar_t module[MAX_PATH] = {};
    std::wstring path(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH));
    if (!PathExists(path) && path.rfind(L"unix\\", 0) == 0) path = L"\\\\?\\" + path;
    return path;
}

std::wstring ModuleDirectory() {
    const std::wstring path = ModulePath();
    return path.substr(0, path.rfind(L'\\') + 1);
}

}  // namespace

// ------------------------------------------------------------ catalogue rows

TEST(SpecialActionCatalogue, PlacesTicksAndNames) {
    // The names are also the keys of the ticks in the settings file.
    struct TRow {
        int Place;
        bool Tick;
        const wchar_t* Name;
    };
    const TRow rows[] = {
        {1, false, L"清除 Borland Developer Studio 历史记录"},
        {2, true, L"清除 Internet Explorer 缓存"},
        {3, false, L"清除 Internet Explorer cookies"},
        {4, false, L"清除 Internet Explorer 历史记录"},
        {5, false, L"清除 Dreamweaver 历史记录"},
        {9, false, L"清除网络共享历史记录"},
        {10, true, L"清除 Nero Burning Rom 历史记录"},
        {11, true, L"清除 Office 最近使用的文件列表"},
        {13, true, L"清除 Windows 附件中最近使用的文件列表"},
        {14, true, L"清除 Windows Media Player 历史记录"},
        {16, false, L"清除开始菜单-运行最近使用的命令列表"},
        {17, true, L"清除 WinRar 历史记录"},
        {18, true, L"清除 WinZip 历史记录"},
        {35, false, L"清空 Windows 事件日志"},
        {38, true, L"清空 Windows 回收站"},
        {40, false, L"执行 Windows 磁盘清理"},
    };
    const auto catalogue = SpecialActionCatalogue();
    ASSERT_EQ(catalogue.size(), std::size(rows));
    for (size_t i = 0; i < catalogue.size(); ++i) {
        const TRow& row = rows[i];
        SCOPED_TRACE(testing::Message() << "place " << row.Place);
        EXPECT_EQ(catalogue[i].Place, row.Place);
        EXPECT_EQ(catalogue[i].DefaultChecked, row.Tick);
        auto item = catalogue[i].ItemClass.Create();
        ASSERT_NE(dynamic_cast<TCleanupSpecialActionItem*>(item.get()), nullptr);
        EXPECT_EQ(item->Name, row.Name);
        EXPECT_FALSE(item->ProgressText.empty());
        if (row.Place != 38) {
            EXPECT_EQ(item->GetState(), TCleanupItemState::csNotCounted);
        }
    }

    // With the file-mask table the rows fill the forty places but those of Outlook and Firefox.
    std::set<int> places;
    for (const auto& row : catalogue) places.insert(row.Place);
    for (const auto& row : FileMaskCatalogue()) EXPECT_TRUE(places.insert(row.Place).second) << row.Place;
    for (int place : {6, 7, 8, 36}) places.insert(place);
    EXPECT_EQ(places.size(), 40u);
    EXPECT_EQ(*places.begin(), 1);
    EXPECT_EQ(*places.rbegin(), 40);
}

// ------------------------------------------------------------ recycle bin

TEST(SpecialActionRecycleBin, StateAndInfoLinesFollowTheBin) {
    ASSERT_TRUE(TrashIsInsideTheSandbox()) << "refusing to touch a recycle bin outside build/wine-*";
    TSandboxLock lock(L"RecycleBin");
    TWineAnswerForTesting asOnWindows(false);
    ASSERT_TRUE(TEmptyRecycleBin::IsAvailable());
    EmptyRecycleBin();
    auto bin = Make<TEmptyRecycleBin>();
    EXPECT_EQ(bin->GetState(), TCleanupItemState::csNothingFound);
    EXPECT_EQ(FirstLine(*bin), L"回收站是空的。");
    EXPECT_EQ(SecondLine(*bin), L"");

    TScratchFolder folder(L"special-recycle");
    auto recycleNew = [&](int index) {
        const std::wstring path = folder.Path() + L"item" + std::to_wstring(index) + L".tmp";
        ASSERT_TRUE(WriteTestFile(path, std::string(512, 'x')));
        ASSERT_TRUE(Recycle(path));
    };
    recycleNew(1);
    EXPECT_EQ(bin->GetState(), TCleanupItemState::csFilesFound);
    EXPECT_EQ(FirstLine(*bin), L"回收站包含一个文件。");
    EXPECT_EQ(SecondLine(*bin), L"回收站中的文件大小总计: 512 bytes");

    for (int index = 2; index <= 12; ++index) recycleNew(index);
    EXPECT_EQ(bin->GetState(), TCleanupItemState::csFilesFound);
    EXPECT_EQ(FirstLine(*bin), L"回收站包含 12 个文件");
    EXPECT_EQ(SecondLine(*bin), L"回收站中的文件大小总计: 6 KB");

    bin->Perform();
    EXPECT_EQ(QueryRecycleBin(false), 0);
    EXPECT_EQ(bin->GetState(), TCleanupItemState::csNothingFound);
    EXPECT_EQ(FirstLine(*bin), L"回收站是空的。");
    EXPECT_EQ(SecondLine(*bin), L"");
}

// ------------------------------------------------------------ Internet Explorer cache

namespace {

bool SeedUrlCache(const std::wstring& url) {
    wchar_t file[MAX_PATH] = {};
    if (!::CreateUrlCacheEntryW(url.c_str(), 0, L"txt", file, 0)) return false;
    if (!WriteTestFile(file, "cached")) return false;
    const FILETIME none = {};
    return ::CommitUrlCacheEntryW(url.c_str(), file, none, none, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr) !=
           FALSE;
}

bool Cached(const std::wstring& url) {
    DWORD size = 0;
    if (::GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size)) return true;
    return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

TEST(SpecialActionInternetExplorer, CacheKeepsTheCookiesAndCookiesTakeOnlyThem) {
    TSandboxLock lock(L"UrlCache");
    const std::wstring unique = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64());
    const std::wstring page = L"http://vantrel.test/" + unique + L"/page.html";
    const std::wstring lowerCookie = L"http://vantrel.test/" + unique + L"/cookie.js";
    const std::wstring cookie = L"Cookie:tester@vantrel.test/" + unique + L"/";
    for (const auto* url : {&page, &lowerCookie, &cookie}) ASSERT_TRUE(SeedUrlCache(*url));

    Make<TClearIECache>()->Perform();
    EXPECT_FALSE(Cached(page));
    EXPECT_FALSE(Cached(lowerCookie));  // "cookie" in lower case is no cookie
    EXPECT_TRUE(Cached(cookie));

    ASSERT_TRUE(SeedUrlCache(page));
    Make<TClearIECookies>()->Perform();
    EXPECT_FALSE(Cached(cookie));
    EXPECT_TRUE(Cached(page));

    ::DeleteUrlCacheEntryW(page.c_str());
}

// ------------------------------------------------------------ disk cleanup tool

TEST(SpecialActionDiskCleanup, OfferedWithTheToolAndRunsIt) {
    TSandboxLock lock(L"DiskCleanupTool");
    const std::wstring system = GetWindowsDir() + L"system32\\";
    const std::wstring tool = system + L"cleanmgr.exe", log = system + L"cleanmgr-args.log";
    if (PathExists(tool)) GTEST_SKIP() << "a real cleanmgr.exe is present";
    EXPECT_FALSE(TExecuteDiskCleanup::IsAvailable());

    ASSERT_TRUE(::CopyFileW((ModuleDirectory() + L"cleanmgr-standin.exe").c_str(), tool.c_str(), TRUE))
        << "cleanmgr-standin.exe not found beside the test executable";
    ::DeleteFileW(log.c_str());
    // The tool inherits the working directory; ours may be a Unix path Wine cannot enter.
    wchar_t current[MAX_PATH] = {};
    const std::wstring savedDirectory(current, ::GetCurrentDirectoryW(MAX_PATH, current));
    ::SetCurrentDirectoryW(system.c_str());

    EXPECT_TRUE(TExecuteDiskCleanup::IsAvailable());
    Make<TExecuteDiskCleanup>()->Perform();
    EXPECT_EQ(ReadTestFile(log), "/dc /sagerun: 1\r\n");

    ::SetCurrentDirectoryW(savedDirectory.c_str());
    ::DeleteFileW(tool.c_str());
    ::DeleteFileW(log.c_str());
    EXPECT_FALSE(TExecuteDiskCleanup::IsAvailable());
}

// ------------------------------------------------------------ event logs

TEST(SpecialActionEventLog, OfferedOnWindowsNT4To2003Only) {
    struct TCase {
        DWORD Platform, Major, Minor;
        bool Offered;
    };
    const TCase cases[] = {
        {VER_PLATFORM_WIN32_NT, 3, 51, false},      {VER_PLATFORM_WIN32_NT, 4, 0, true},
        {VER_PLATFORM_WIN32_NT, 5, 0, true},        {VER_PLATFORM_WIN32_NT, 5, 1, true},
        {VER_PLATFORM_WIN32_NT, 5, 2, true},        {VER_PLATFORM_WIN32_NT, 6, 0, false},
        {VER_PLATFORM_WIN32_NT, 6, 1, false},       {VER_PLATFORM_WIN32_NT, 10, 0, false},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, false},  // Windows 98
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, false},  // Windows Me
        {VER_PLATFORM_WIN32s, 3, 10, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsEventLogClearingOffered(c.Platform, c.Major, c.Minor), c.Offered)
            << c.Platform << " " << c.Major << "." << c.Minor;
}

TEST(SpecialActionEventLog, ClearsTheThreeLogsInOrderAndStopsAtTheFirstFailure) {
    std::vector<TEventLogKind> cleared;
    ClearEventLogsInOrder([&](TEventLogKind log) { cleared.push_back(log); });
    EXPECT_EQ(cleared, (std::vector<TEventLogKind>{elApplication, elSecurity, elSystem}));

    cleared.clear();
    EXPECT_THROW(ClearEventLogsInOrder([&](TEventLogKind log) {
                     cleared.push_back(log);
                     if (log == elSecurity) throw EOSError(ERROR_ACCESS_DENIED, L"拒绝访问。");
                 }),
                 EOSError);
    EXPECT_EQ(cleared, (std::vector<TEventLogKind>{elApplication, elSecurity}));

    // Wine's event log service is a stub that opens every log; the real calls go through.
    EXPECT_NO_THROW(Make<TEmptyEventLog>()->Perform());
}

namespace {

// Runs a copy of this test executable under Wine's version Version, set for
// that copy alone under HKCU\Software\Wine\AppDefaults, and returns what its
// TEmptyEventLog::IsAvailable answered: "1" or "0", then the version it saw.
std::string AvailabilityUnderWindowsVersion(const std::wstring& version) {
    TScratchFolder folder(L"special-winver");
    const std::wstring exeName =
        L"vt-winver-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + version + L".exe";
    const std::wstring copy = folder.Path() + exeName, report = folder.Path() + L"report.txt";
    if (!::CopyFileW(ModulePath().c_str(), copy.c_str(), FALSE)) return "copy failed";

    const std::wstring appKey = L"Software\\Wine\\AppDefaults\\" + exeName;
    {
        TRegKey key;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                              nullptr) != ERROR_SUCCESS)
            return "no AppDefaults key";
        ::RegSetValueExW(key.Get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                         static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    }
    ::SetEnvironmentVariableW(L"VT_EVENTLOG_REPORT", report.c_str());
    std::wstring commandLine = L"\"" + copy + L"\" --gtest_filter=SpecialActionEventLogChild.*";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const BOOL started = ::CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                          nullptr, folder.Path().c_str(), &startup, &process);
    ::SetEnvironmentVariableW(L"VT_EVENTLOG_REPORT", nullptr);
    if (started) {
        THandle processHandle(process.hProcess), thread(process.hThread);
        ::WaitForSingleObject(processHandle.Get(), 60000);
    }
    ::RegDeleteKeyW(HKEY_CURRENT_USER, appKey.c_str());
    return started ? ReadTestFile(report) : "start failed";
}

}  // namespace

TEST(SpecialActionEventLog, OfferedWhenWineReportsXpNotWhenItReportsWindows7) {
    EXPECT_EQ(AvailabilityUnderWindowsVersion(L"winxp"), "1 2.5.1");
    EXPECT_EQ(AvailabilityUnderWindowsVersion(L"win2003"), "1 2.5.2");
    EXPECT_EQ(AvailabilityUnderWindowsVersion(L"win7"), "0 2.6.1");
}

// Runs only inside the copies the test above starts.
TEST(SpecialActionEventLogChild, ReportsAvailability) {
    const std::wstring report = Environment(L"VT_EVENTLOG_REPORT");
    if (report.empty()) GTEST_SKIP() << "started by OfferedWhenWineReportsXpNotWhenItReportsWindows7 only";
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ::GetVersionExW(&version);
    const std::string text = std::string(TEmptyEventLog::IsAvailable() ? "1" : "0") + " " +
                             std::to_string(version.dwPlatformId) + "." + std::to_string(version.dwMajorVersion) +
                             "." + std::to_string(version.dwMinorVersion);
    ASSERT_TRUE(WriteTestFile(report, text));
}
