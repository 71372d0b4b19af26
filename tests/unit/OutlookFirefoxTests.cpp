// The Outlook and Firefox actions against real objects in the sandbox: a stand-in
// Outlook automation server (tests/helpers/FakeOutlook.cpp) registered as
// "Outlook.Application", and a Firefox profile tree in the user's application data.
#include "catalogue/FirefoxActions.h"
#include "catalogue/FolderMasks.h"
#include "catalogue/OutlookActions.h"
#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "helpers/FakeOutlookIds.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// A registry key made for one test. Only the levels that were missing are
// deleted again, deepest first and only while empty, so keys that others made
// meanwhile below them survive.
class TScratchKey {
public:
    TScratchKey(HKEY root, const std::wstring& path, const std::wstring& defaultValue = {}) : FRoot(root) {
        for (size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
            const std::wstring level = path.substr(0, end);
            if (!RegistryKeyExists(root, level)) {
                HKEY key = nullptr;
                if (::RegCreateKeyExW(root, level.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
                    ERROR_SUCCESS) {
                    ::RegCloseKey(key);
                    FCreated.push_back(level);
                }
            }
            if (end == std::wstring::npos) break;
        }
        if (!defaultValue.empty()) ::RegSetKeyValueW(root, path.c_str(), nullptr, REG_SZ, defaultValue.c_str(),
                                                     static_cast<DWORD>((defaultValue.size() + 1) * sizeof(wchar_t)));
    }
    ~TScratchKey() {
        for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) ::RegDeleteKeyW(FRoot, it->c_str());
    }
    TScratchKey(const TScratchKey&) = delete;
    TScratchKey& operator=(const TScratchKey&) = delete;

private:
    HKEY FRoot;
    std::vector<std::wstring> FCreated;
};

// The folder of this executable. Started from a Unix path in a sandbox without
// a Z: drive, Wine names the module "unix\work\..."; its NT form "\\?\unix\..." opens.
std::wstring TestDirectory() {
    wchar_t module[MAX_PATH] = {};
    std::wstring path(module, ::GetModuleFileNameW(nullptr, module, MAX_PATH));
    if (!PathExists(path) && path.rfind(L"unix\\", 0) == 0) path = L"\\\\?\\" + path;
    return path.substr(0, path.rfind(L'\\') + 1);
}

Lines SplitLines(const std::string& text) {
    Lines lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

constexpr const wchar_t* OutlookKeys[] = {
    L"Software\\Microsoft\\Office\\9.0\\Outlook",
    L"Software\\Microsoft\\Office\\10.0\\Outlook",
    L"Software\\Microsoft\\Office\\11.0\\Outlook",
};

std::unique_ptr<TCleanupCustomItem> MakeOutlookAction() {
    return TCleanupCustomItem::ClassOf<TEmptyOutlookDeletedItemsFolder>().Create();
}

// --- Outlook ---

// Each test may register the stand-in server as "Outlook.Application" (a local
// server) under HKEY_CURRENT_USER\Software\Classes; everything registered goes
// again at the end.
class OutlookFirefoxOutlook : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        FComInitialised = true;
        for (const wchar_t* key : OutlookKeys)
            if (RegistryKeyExists(HKEY_CURRENT_USER, key)) GTEST_SKIP() << "Outlook keys exist already";
        if (RegistryKeyExists(HKEY_CLASSES_ROOT, OutlookProgId) ||
            RegistryKeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\Outlook.Application"))
            GTEST_SKIP() << "Outlook.Application is registered";
    }
    void TearDown() override {
        while (!FRegistration.empty()) FRegistration.pop_back();  // the deepest keys go first
        if (FInstalled) {
            EXPECT_TRUE(ServersExited()) << "an automation server was not released";
            // A server logs its exit just before it ends; its program is free a moment later.
            for (int attempt = 0; attempt < 100 && PathExists(Server()); ++attempt) {
                if (!::DeleteFileW(Server().c_str())) ::Sleep(50);
            }
            ::SetCurrentDirectoryW(FSavedDirectory.c_str());
        }
        if (FComInitialised) ::CoUninitialize();
    }

    // Registers the server, serving a Deleted Items folder of Items items whose
    // "Remove" behaves as Mode says (FakeOutlookIds.h).
    void InstallServer(int items, const std::string& mode) {
        ASSERT_TRUE(::CopyFileW((TestDirectory() + L"fake-outlook.exe").c_str(), Server().c_str(), TRUE))
            << "fake-outlook.exe not found beside the test executable";
        ASSERT_TRUE(WriteTestFile(Mailbox(), std::to_string(items) + "\r\n" + mode + "\r\n"));
        FInstalled = true;
        // The server inherits the working directory; ours may be a Unix path Wine cannot enter.
        wchar_t current[MAX_PATH] = {};
        FSavedDirectory.assign(current, ::GetCurrentDirectoryW(MAX_PATH, current));
        ::SetCurrentDirectoryW(GetTempDirectory().c_str());
        const std::wstring command = L"\"" + Server() + L"\" \"" + Mailbox() + L"\"";
        Register(HKEY_CURRENT_USER, command);
        // Wine 8 does not merge the user's classes into HKEY_CLASSES_ROOT; there
        // the machine's classes (the sandbox's own) have to hold the server.
        if (!RegistryKeyExists(HKEY_CLASSES_ROOT, OutlookProgId)) Register(HKEY_LOCAL_MACHINE, command);
        ASSERT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, OutlookProgId));
    }

    void Register(HKEY root, const std::wstring& command) {
        const std::wstring classKey = L"Software\\Classes\\CLSID\\" FAKE_OUTLOOK_CLSID_TEXT;
        FRegistration.push_back(std::make_unique<TScratchKey>(root, L"Software\\Classes\\Outlook.Application\\CLSID",
                                                              FAKE_OUTLOOK_CLSID_TEXT));
        FRegistration.push_back(std::make_unique<TScratchKey>(root, classKey + L"\\ProgID", OutlookProgId));
        FRegistration.push_back(std::make_unique<TScratchKey>(root, classKey + L"\\LocalServer32", command));
    }

    std::wstring Server() const { return FScratch.Path() + L"fake-outlook.exe"; }
    std::wstring Mailbox() const { return FScratch.Path() + L"mailbox.txt"; }
    int ItemsLeft() const { return std::atoi(ReadTestFile(Mailbox()).c_str()); }

    // The calls the server saw, without its own start and exit lines.
    Lines Calls() const {
        Lines calls;
        for (const std::string& line : SplitLines(ReadTestFile(Mailbox() + L".log")))
            if (line != "start" && line != "exit") calls.push_back(line);
        return calls;
    }

    // Every server started has ended: all its objects were released. Waits a little.
    bool ServersExited() const {
        for (int attempt = 0; attempt < 200; ++attempt) {
            const Lines lines = SplitLines(ReadTestFile(Mailbox() + L".log"));
            if (std::count(lines.begin(), lines.end(), "start") == std::count(lines.begin(), lines.end(), "exit"))
                return true;
            ::Sleep(50);
        }
        return false;
    }

    // The calls of one Execute that empties a folder of Items items, one by one,
    // with a fresh collection for every count and every removal.
    static Lines EmptyingCalls(int items) {
        Lines calls = {"create", "GetNamespace MAPI", "GetDefaultFolder 3"};
        int serial = 0;
        for (int left = items;; --left) {
            calls.push_back("Items #" + std::to_string(++serial));
            calls.push_back("Count #" + std::to_string(serial) + " " + std::to_string(left));
            if (left == 0) break;
            calls.push_back("Items #" + std::to_string(++serial));
            calls.push_back("Remove #" + std::to_string(serial) + " 1");
        }
        return calls;
    }

    TSandboxLock FLock{L"OutlookKeys"};
    TScratchFolder FScratch{L"outlook"};
    std::vector<std::unique_ptr<TScratchKey>> FRegistration;
    std::wstring FSavedDirectory;
    bool FComInitialised = false;
    bool FInstalled = false;
};

TEST_F(OutlookFirefoxOutlook, ExecuteRemovesItemOneUntilTheFolderIsEmpty) {
    InstallServer(3, "remove");
    MakeOutlookAction()->Perform();
    EXPECT_EQ(ItemsLeft(), 0);
    EXPECT_EQ(Calls(), EmptyingCalls(3));
}

TEST_F(OutlookFirefoxOutlook, ExecuteOnAnEmptyFolderCountsOnce) {
    InstallServer(0, "remove");
    MakeOutlookAction()->Perform();
    EXPECT_EQ(Calls(), EmptyingCalls(0));
}

TEST_F(OutlookFirefoxOutlook, RefusedRemovalRaisesTheServersText) {
    InstallServer(2, "refuse");
    try {
        MakeOutlookAction()->Perform();
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message().find(FAKE_OUTLOOK_REFUSAL), std::wstring::npos) << Narrow(e.Message());
    }
    EXPECT_EQ(ItemsLeft(), 2);
}

// A server that accepts "Remove" but keeps the item must not hold the cleanup pass forever.
TEST_F(OutlookFirefoxOutlook, StopsWhenARemovalLeavesTheCountUnchanged) {
    InstallServer(2, "keep");
    MakeOutlookAction()->Perform();
    const Lines calls = Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Remove #2 1"), 1);
    EXPECT_EQ(calls.back(), "Count #3 2");
    EXPECT_EQ(ItemsLeft(), 2);
}

TEST_F(OutlookFirefoxOutlook, UnregisteredServerRaisesWithTheProgId) {
    const std::wstring suffix = L", ProgID: \"Outlook.Application\"";
    try {
        MakeOutlookAction()->Perform();
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        const std::wstring& text = e.Message();
        ASSERT_GT(text.size(), suffix.size()) << "the system's text is missing";
        EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix) << Narrow(text);
    }
    TScratchKey key(HKEY_CURRENT_USER, OutlookKeys[2]);
    EXPECT_FALSE(TEmptyOutlookDeletedItemsFolder::IsAvailable());
}

TEST_F(OutlookFirefoxOutlook, AvailableWithAnyOutlookKeyWhenTheServerAnswers) {
    InstallServer(5, "remove");
    EXPECT_FALSE(TEmptyOutlookDeletedItemsFolder::IsAvailable());
    EXPECT_TRUE(Calls().empty()) << "the server was started without an Outlook key";

    for (const wchar_t* path : OutlookKeys) {
        TScratchKey key(HKEY_CURRENT_USER, path);
        EXPECT_TRUE(TEmptyOutlookDeletedItemsFolder::IsAvailable()) << Narrow(path);
    }
    // Started, asked for the namespace and released each time; the folder is not touched.
    EXPECT_EQ(Calls(), (Lines{"create", "GetNamespace MAPI", "create", "GetNamespace MAPI", "create",
                              "GetNamespace MAPI"}));
    EXPECT_EQ(ItemsLeft(), 5);
}

TEST_F(OutlookFirefoxOutlook, NotAvailableWhenTheNamespaceFails) {
    InstallServer(5, "nomapi");
    TScratchKey key(HKEY_CURRENT_USER, OutlookKeys[0]);
    EXPECT_FALSE(TEmptyOutlookDeletedItemsFolder::IsAvailable());
    EXPECT_EQ(Calls(), (Lines{"create", "GetNamespace MAPI"}));
}

// --- Firefox ---

// A Firefox folder in the user's application data, made for the test and
// removed again with everything in it. A sandbox that has one already is left alone.
class OutlookFirefoxProfile : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring appData = GetSpecialFolder(CSIDL_APPDATA);
        ASSERT_FALSE(appData.empty());
        FBase = appData + L"Mozilla\\Firefox\\";
        if (PathExists(FBase)) GTEST_SKIP() << "the sandbox has a Firefox folder of its own";
        FMade = PathExists(appData + L"Mozilla") ? FBase : appData + L"Mozilla\\";
        ASSERT_TRUE(CreateDirectoryTree(FBase));
    }
    void TearDown() override {
        if (!FMade.empty()) DeleteDirectoryTree(FMade);
    }

    void WriteProfilesIni(const std::string& text) { ASSERT_TRUE(WriteTestFile(FBase + L"profiles.ini", text)); }

    // A profile folder below the Firefox folder with the files Firefox keeps there.
    std::wstring MakeProfile(const std::wstring& relative) {
        const std::wstring profile = FBase + relative + L"\\";
        CreateDirectoryTree(profile + L"Cache\\0");
        for (const wchar_t* name : {L"cookies.txt", L"history.dat", L"prefs.js", L"bookmarks.html", L"Cache\\_CACHE_001_",
                                    L"Cache\\0\\A1B2C3d01"})
            WriteTestFile(profile + name, "data");
        return profile;
    }

    // The files below Folder, relative to it, sorted.
    static std::vector<std::wstring> FilesBelow(const std::wstring& folder) {
        std::vector<std::wstring> files;
        CollectFiles(folder, L"", files);
        std::sort(files.begin(), files.end());
        return files;
    }

    std::wstring FBase;  // the Firefox folder, with a trailing backslash

private:
    static void CollectFiles(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& files) {
        WIN32_FIND_DATAW entry;
        HANDLE find = ::FindFirstFileW((root + relative + L"*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                CollectFiles(root, relative + name + L"\\", files);
            else
                files.push_back(relative + name);
        } while (::FindNextFileW(find, &entry));
        ::FindClose(find);
    }

    TSandboxLock FLock{L"FirefoxProfile"};
    std::wstring FMade;
};

void PerformAll() {
    TCleanupCustomItem::ClassOf<TClearMozillaFirefoxCache>().Create()->Perform();
    TCleanupCustomItem::ClassOf<TClearMozillaFirefoxCookies>().Create()->Perform();
    TCleanupCustomItem::ClassOf<TClearMozillaFirefoxHistory>().Create()->Perform();
}

TEST_F(OutlookFirefoxProfile, ProfileDirIsProfile0PathBelowTheFirefoxFolder) {
    EXPECT_EQ(GetFirefoxProfileDir(), L"") << "no profiles.ini";

    WriteProfilesIni("[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\r\nName=default\r\nIsRelative=1\r\n"
                     "Path=Profiles/abc.default\r\n");
    EXPECT_EQ(GetFirefoxProfileDir(), L"") << "the profile folder is missing";

    MakeProfile(L"Profiles\\abc.default");
    EXPECT_EQ(GetFirefoxProfileDir(), FBase + L"Profiles\\abc.default\\");

    WriteProfilesIni("[Profile0]\r\nPath=Profiles/abc.default/\r\n");
    EXPECT_EQ(GetFirefoxProfileDir(), FBase + L"Profiles\\abc.default\\");

    WriteProfilesIni("[Profile1]\r\nPath=Profiles/abc.default\r\n");
    EXPECT_EQ(GetFirefoxProfileDir(), L"") << "only Profile0 counts";
}

// An absolute path is taken, as for Firefox 57+, only when it holds prefs.js:
// a hand-typed folder that Firefox never ran in is left alone.
TEST_F(OutlookFirefoxProfile, AbsoluteProfilePathIsTakenOnlyWhenItHoldsPrefsJs) {
    const std::wstring elsewhere = MakeProfile(L"Elsewhere\\abc.default");
    WriteTestFile(elsewhere + L"Cache\\_CACHE_MAP_", "map");
    WriteProfilesIni("[Profile0]\r\nIsRelative=0\r\nPath=" + Narrow(elsewhere) + "\r\n");
    EXPECT_EQ(GetFirefoxProfileDir(), elsewhere);

    ASSERT_TRUE(::DeleteFileW((elsewhere + L"prefs.js").c_str()));
    const auto before = FilesBelow(elsewhere);
    EXPECT_EQ(GetFirefoxProfileDir(), L"");
    PerformAll();
    EXPECT_EQ(FilesBelow(elsewhere), before);
}

// A relative path that climbs out of the Firefox folder names no profile,
// whatever lies there: the user's documents stay.
TEST_F(OutlookFirefoxProfile, ARelativePathLeavingTheFirefoxFolderNamesNoProfile) {
    wchar_t full[MAX_PATH];
    ASSERT_NE(::GetFullPathNameW((FBase + L"..\\..\\..\\..\\Documents\\victim").c_str(), MAX_PATH, full, nullptr), 0u);
    const std::wstring victim = std::wstring(full) + L"\\";
    ASSERT_FALSE(PathExists(victim)) << "the sandbox has the folder already";
    struct TRemove {
        std::wstring Folder;
        ~TRemove() { DeleteDirectoryTree(Folder); }
    } remove{victim};
    for (const wchar_t* name : {L"cookies.txt", L"history.dat", L"prefs.js", L"Cache\\_CACHE_MAP_", L"Cache\\report.doc"}) {
        CreateDirectoryTree((victim + name).substr(0, (victim + name).rfind(L'\\')));
        ASSERT_TRUE(WriteTestFile(victim + name, "the user's"));
    }
    const auto before = FilesBelow(victim);
    for (const char* path : {"..\\..\\..\\..\\Documents\\victim", "../../../../Documents/victim",
                             "Profiles\\..\\..\\..\\..\\..\\Documents\\victim"}) {
        WriteProfilesIni(std::string("[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=") + path + "\r\n");
        EXPECT_EQ(GetFirefoxProfileDir(), L"") << path;
        PerformAll();
        EXPECT_EQ(FilesBelow(victim), before) << path;
    }
    // A ".." that stays inside is still the profile it names.
    const std::wstring profile = MakeProfile(L"Profiles\\abc.default");
    WriteProfilesIni("[Profile0]\r\nPath=Profiles/x/../abc.default\r\n");
    EXPECT_EQ(GetFirefoxProfileDir(), profile);
}

TEST_F(OutlookFirefoxProfile, CacheIsClearedOnlyWhenItHoldsTheMapFile) {
    const std::wstring profile = MakeProfile(L"Profiles\\abc.default");
    const std::wstring other = MakeProfile(L"Profiles\\other.default");
    WriteTestFile(other + L"Cache\\_CACHE_MAP_", "map");
    WriteProfilesIni("[Profile0]\r\nPath=Profiles/abc.default\r\n[Profile1]\r\nPath=Profiles/other.default\r\n");
    const auto before = FilesBelow(FBase);
    auto cache = TCleanupCustomItem::ClassOf<TClearMozillaFirefoxCache>().Create();

    cache->Perform();
    EXPECT_EQ(FilesBelow(FBase), before) << "a cache without _CACHE_MAP_ was touched";

    WriteTestFile(profile + L"Cache\\_CACHE_MAP_", "map");
    cache->Perform();
    EXPECT_TRUE(FilesBelow(profile + L"Cache\\").empty());
    EXPECT_TRUE(FolderExists(profile + L"Cache")) << "the cache folder is made again";
    auto expected = before;
    std::erase_if(expected, [](const std::wstring& f) { return f.rfind(L"Profiles\\abc.default\\Cache\\", 0) == 0; });
    EXPECT_EQ(FilesBelow(FBase), expected) << "only the first profile's cache goes";
}

TEST_F(OutlookFirefoxProfile, CookiesAndHistoryActionsDeleteOnlyTheirFile) {
    const std::wstring profile = MakeProfile(L"Profiles\\abc.default");
    WriteProfilesIni("[Profile0]\r\nPath=Profiles/abc.default\r\n");
    auto cookies = TCleanupCustomItem::ClassOf<TClearMozillaFirefoxCookies>().Create();
    auto history = TCleanupCustomItem::ClassOf<TClearMozillaFirefoxHistory>().Create();
    auto remaining = FilesBelow(profile);
    auto without = [&](const wchar_t* name) {
        std::erase(remaining, std::wstring(name));
        return remaining;
    };

    cookies->Perform();
    EXPECT_EQ(FilesBelow(profile), without(L"cookies.txt"));
    history->Perform();
    EXPECT_EQ(FilesBelow(profile), without(L"history.dat"));
    // Nothing left to delete: nothing happens, nothing raises.
    cookies->Perform();
    history->Perform();
    EXPECT_EQ(FilesBelow(profile), remaining);
}

// --- Availability ---

TEST(OutlookFirefoxAvailability, FirefoxOfferedOnlyWithTheUsersFirefoxKey) {
    TSandboxLock lock(L"FirefoxKey");
    const std::wstring key = L"SOFTWARE\\Mozilla\\Mozilla Firefox";
    if (RegistryKeyExists(HKEY_CURRENT_USER, key)) GTEST_SKIP() << "the sandbox has the Firefox key";
    auto offered = [] {
        return std::vector<bool>{TClearMozillaFirefoxHistory::IsAvailable(), TClearMozillaFirefoxCache::IsAvailable(),
                                 TClearMozillaFirefoxCookies::IsAvailable()};
    };
    EXPECT_EQ(offered(), (std::vector<bool>{false, false, false}));
    {
        TScratchKey made(HKEY_CURRENT_USER, key);
        EXPECT_EQ(offered(), (std::vector<bool>{true, true, true}));
    }
    EXPECT_EQ(offered(), (std::vector<bool>{false, false, false}));
}

}  // namespace
