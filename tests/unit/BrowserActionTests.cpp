// Today's browsers against profiles and SQLite databases the tests make: the
// history and cookie rows go, bookmarks and everything else of the user's stay
// byte for byte, a held profile lock keeps every file, and profiles.ini's
// Install and Profile sections all count.
#include "catalogue/BrowserActions.h"
#include "catalogue/BrowserDatabases.h"
#include "catalogue/BrowserProfiles.h"
#include "catalogue/FolderMasks.h"
#include "engine/SystemRoutines.h"
#include "platform/Handles.h"
#include "platform/Utf8.h"
#include "support/TempFolder.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

// --- Small tools ---

void Exec(const std::wstring& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(ToUtf8(file).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
              SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

// The first column of every row, as text.
std::vector<std::string> Column(const std::wstring& file, const std::string& sql) {
    std::vector<std::string> values;
    sqlite3* db = nullptr;
    sqlite3_open_v2(ToUtf8(file).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int, char** row, char**) {
            static_cast<std::vector<std::string>*>(out)->push_back(row[0] ? row[0] : "NULL");
            return 0;
        },
        &values, nullptr);
    sqlite3_close(db);
    return values;
}

std::string Count(const std::wstring& file, const std::string& table) {
    const auto values = Column(file, "SELECT count(*) FROM " + table);
    return values.empty() ? "no answer" : values[0];
}

std::string Bytes(const std::wstring& file) {
    std::ifstream in(file.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::wstring& file, const std::string& text) {
    CreateDirectoryTree(file.substr(0, file.rfind(L'\\')));
    std::ofstream(file.c_str(), std::ios::binary) << text;
}

// Every file below Folder with its bytes.
std::map<std::wstring, std::string> Snapshot(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return files;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (auto& [path, bytes] : Snapshot(folder + name + L"\\")) files[path] = bytes;
        } else {
            files[folder + name] = Bytes(folder + name);
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return files;
}

// A lock file held the way a running browser holds it: open, shared with nobody.
THandle HoldLock(const std::wstring& file) {
    WriteText(file, "");
    return THandle(::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

// --- Databases shaped like the browsers' (the tables that matter, and a few around them) ---

void MakeChromiumHistory(const std::wstring& file) {
    Exec(file,
         "CREATE TABLE urls(id INTEGER PRIMARY KEY AUTOINCREMENT, url LONGVARCHAR, title LONGVARCHAR,"
         " visit_count INTEGER DEFAULT 0 NOT NULL, last_visit_time INTEGER NOT NULL);"
         "CREATE TABLE visits(id INTEGER PRIMARY KEY AUTOINCREMENT, url INTEGER NOT NULL, visit_time INTEGER NOT NULL,"
         " from_visit INTEGER);"
         "CREATE INDEX visits_url_index ON visits (url);"
         "CREATE TABLE keyword_search_terms(keyword_id INTEGER NOT NULL, url_id INTEGER NOT NULL, term LONGVARCHAR);"
         "CREATE TABLE downloads(id INTEGER PRIMARY KEY, target_path LONGVARCHAR NOT NULL);"
         "INSERT INTO urls(url, title, visit_count, last_visit_time) VALUES"
         " ('https://news.example/', 'News', 3, 1), ('https://bank.example/login', 'Bank', 1, 2);"
         "INSERT INTO visits(url, visit_time) VALUES (1, 1), (1, 2), (1, 3), (2, 4);"
         "INSERT INTO keyword_search_terms VALUES (1, 1, 'weather');"
         "INSERT INTO downloads VALUES (1, 'C:\\Users\\u\\Downloads\\setup.exe');");
}

void MakeFirefoxPlaces(const std::wstring& file) {
    Exec(file,
         "PRAGMA journal_mode=WAL;"
         "CREATE TABLE moz_origins(id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL);"
         "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,"
         " visit_count INTEGER DEFAULT 0, last_visit_date INTEGER, origin_id INTEGER);"
         "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER,"
         " visit_date INTEGER, visit_type INTEGER);"
         "CREATE TABLE moz_bookmarks(id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER,"
         " title LONGVARCHAR, guid TEXT);"
         "CREATE TABLE moz_keywords(id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE, place_id INTEGER);"
         "CREATE TABLE moz_inputhistory(place_id INTEGER NOT NULL, input LONGVARCHAR NOT NULL);"
         "INSERT INTO moz_origins VALUES (1, 'https://', 'docs.example'), (2, 'https://', 'news.example'),"
         " (3, 'https://', 'search.example');"
         "INSERT INTO moz_places VALUES (1, 'https://docs.example/manual', 'Manual', 4, 100, 1),"
         " (2, 'https://news.example/today', 'Today', 9, 200, 2), (3, 'https://news.example/old', 'Old', 1, 50, 2),"
         " (4, 'https://search.example/?q=%s', 'Search', 2, 300, 3), (5, 'https://docs.example/faq', 'FAQ', 0, NULL, 1);"
         "INSERT INTO moz_historyvisits(place_id, visit_date, visit_type) VALUES (1, 100, 1), (2, 150, 1),"
         " (2, 200, 1), (3, 50, 1), (4, 300, 2);"
         // Folders (fk NULL), a bookmark of place 1 and one of place 5, which was never visited.
         "INSERT INTO moz_bookmarks VALUES (1, 2, NULL, 0, 'menu', 'menu________'),"
         " (2, 1, 1, 1, 'Manual', 'bm1'), (3, 1, 5, 1, 'FAQ', 'bm2');"
         "INSERT INTO moz_keywords(keyword, place_id) VALUES ('s', 4);"
         "INSERT INTO moz_inputhistory VALUES (2, 'new');");
}

void MakeCookies(const std::wstring& file, const std::string& table) {
    Exec(file, "CREATE TABLE " + table + "(host_key TEXT, name TEXT, value TEXT);"
               "INSERT INTO " + table + " VALUES ('.bank.example', 'session', 'secret-token'), ('.news.example', 'id', '42');");
}

// --- Profile lists ---

TEST(BrowserProfiles, FirefoxReadsEveryProfileAndInstallSectionOnceRelativeOrAbsolute) {
    TTempFolder temp(L"ffini");
    const std::wstring roaming = temp.CreateFolder(L"Roaming\\Mozilla\\Firefox");
    const std::wstring local = temp.Path() + L"Local\\Mozilla\\Firefox\\";
    for (const wchar_t* profile : {L"abcd.default-release", L"efgh.default", L"only-install"})
        temp.CreateFile(std::wstring(L"Roaming\\Mozilla\\Firefox\\Profiles\\") + profile + L"\\prefs.js");
    // Named by a section but never run: no prefs.js, not a profile.
    temp.CreateFolder(L"Roaming\\Mozilla\\Firefox\\Profiles\\never-run");
    const std::wstring elsewhere = temp.CreateFolder(L"D-drive\\FirefoxWork");
    temp.CreateFile(L"D-drive\\FirefoxWork\\prefs.js");
    // Where "../../Escape" would lead: outside the Firefox folder, never taken.
    temp.CreateFile(L"Roaming\\Escape\\prefs.js");
    const std::string absolute = ToUtf8(elsewhere.substr(0, elsewhere.size() - 1));
    WriteText(roaming + L"profiles.ini",
              "[Install308046B0AF4A39CB]\r\nDefault=Profiles/abcd.default-release\r\nLocked=1\r\n\r\n"
              "[Install9999]\r\nDefault=Profiles/only-install\r\n\r\n"
              "[Profile1]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/efgh.default\r\nDefault=1\r\n\r\n"
              "[Profile0]\r\nName=default-release\r\nPath=Profiles/abcd.default-release\r\n\r\n"
              "[Profile2]\r\nName=work\r\nIsRelative=0\r\nPath=" + absolute + "\r\n\r\n"
              "[Profile3]\r\nName=gone\r\nIsRelative=1\r\nPath=Profiles/deleted.profile\r\n\r\n"
              "[Profile4]\r\nName=escape\r\nIsRelative=1\r\nPath=../../Escape\r\n\r\n"
              "[Profile5]\r\nName=new\r\nPath=Profiles/never-run\r\n\r\n"
              "[General]\r\nStartWithLastProfile=1\r\nVersion=2\r\n");
    const auto profiles = FirefoxProfiles(roaming, local);
    ASSERT_EQ(profiles.size(), 4u);
    EXPECT_EQ(profiles[0].Folder, roaming + L"Profiles\\abcd.default-release\\");
    EXPECT_EQ(profiles[0].LocalFolder, local + L"Profiles\\abcd.default-release\\");
    EXPECT_EQ(profiles[1].Folder, roaming + L"Profiles\\only-install\\");
    EXPECT_EQ(profiles[2].Folder, roaming + L"Profiles\\efgh.default\\");
    // An absolute profile keeps its cache in itself.
    EXPECT_EQ(profiles[3].Folder, elsewhere);
    EXPECT_EQ(profiles[3].LocalFolder, elsewhere);
    EXPECT_TRUE(FirefoxProfiles(temp.Path() + L"NoFirefox\\", local).empty());
}

TEST(BrowserProfiles, ChromiumProfilesAreDefaultAndProfileNOnly) {
    TTempFolder temp(L"crprof");
    for (const wchar_t* folder : {L"Default", L"Profile 1", L"Profile 7", L"System Profile", L"Crashpad", L"GrShaderCache"})
        temp.CreateFolder(folder);
    temp.CreateFile(L"Profile 9");  // a file, not a profile
    std::vector<std::wstring> names;
    for (const auto& folder : ChromiumProfileFolders(temp.Path())) names.push_back(folder.substr(temp.Path().size()));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Default\\", L"Profile 1\\", L"Profile 7\\"}));
}

TEST(BrowserProfiles, ALockFileHeldOpenMeansRunningAMissingOneMeansClosed) {
    TTempFolder temp(L"lock");
    EXPECT_EQ(ProbeProfileLock(temp.Path() + L"lockfile"), TProfileLockState::Free);
    EXPECT_FALSE(FileExists(temp.Path() + L"lockfile")) << "probing must not create the lock file";
    WriteText(temp.Path() + L"parent.lock", "");
    EXPECT_EQ(ProbeProfileLock(temp.Path() + L"parent.lock"), TProfileLockState::Free);
    const THandle held = HoldLock(temp.Path() + L"parent.lock");
    ASSERT_TRUE(held);
    EXPECT_EQ(ProbeProfileLock(temp.Path() + L"parent.lock"), TProfileLockState::Held);
}

// --- Databases ---

TEST(BrowserDatabases, ChromiumHistoryLosesEveryVisitAndUrlButKeepsDownloads) {
    TTempFolder temp(L"crhist");
    const std::wstring history = temp.Path() + L"History";
    MakeChromiumHistory(history);
    ASSERT_TRUE(ClearChromiumHistoryDatabase(history));
    EXPECT_EQ(Count(history, "visits"), "0");
    EXPECT_EQ(Count(history, "urls"), "0");
    EXPECT_EQ(Count(history, "keyword_search_terms"), "0");
    EXPECT_EQ(Count(history, "downloads"), "1");
    EXPECT_EQ(DatabaseIntegrity(history), "ok");
    // No visited page can be read back from the file's free pages.
    EXPECT_EQ(Bytes(history).find("bank.example"), std::string::npos);
}

TEST(BrowserDatabases, FirefoxHistoryKeepsBookmarkedAndReferencedPlacesAndTheBookmarksThemselves) {
    TTempFolder temp(L"ffhist");
    const std::wstring places = temp.Path() + L"places.sqlite";
    MakeFirefoxPlaces(places);
    const auto bookmarksBefore = Column(places, "SELECT id||'|'||type||'|'||ifnull(fk,'')||'|'||title||'|'||guid "
                                                "FROM moz_bookmarks ORDER BY id");
    ASSERT_TRUE(ClearFirefoxPlacesHistory(places));
    EXPECT_EQ(Count(places, "moz_historyvisits"), "0");
    EXPECT_EQ(Count(places, "moz_inputhistory"), "0");
    // Bookmarked (1, 5) and keyword (4) places stay with their addresses; the rest go.
    EXPECT_EQ(Column(places, "SELECT id||' '||url FROM moz_places ORDER BY id"),
              (std::vector<std::string>{"1 https://docs.example/manual", "4 https://search.example/?q=%s",
                                        "5 https://docs.example/faq"}));
    EXPECT_EQ(Column(places, "SELECT count(*) FROM moz_places WHERE visit_count<>0 OR last_visit_date IS NOT NULL"),
              std::vector<std::string>{"0"});
    EXPECT_EQ(Column(places, "SELECT id||'|'||type||'|'||ifnull(fk,'')||'|'||title||'|'||guid "
                             "FROM moz_bookmarks ORDER BY id"),
              bookmarksBefore);
    EXPECT_EQ(Count(places, "moz_keywords"), "1");
    EXPECT_EQ(Column(places, "SELECT host FROM moz_origins ORDER BY id"),
              (std::vector<std::string>{"docs.example", "search.example"}));
    EXPECT_EQ(DatabaseIntegrity(places), "ok");
}

TEST(BrowserDatabases, CookieTablesOfBothFamiliesAreEmptiedAndStayUsable) {
    TTempFolder temp(L"cookies");
    const std::wstring chromium = temp.Path() + L"Cookies", firefox = temp.Path() + L"cookies.sqlite";
    MakeCookies(chromium, "cookies");
    MakeCookies(firefox, "moz_cookies");
    ASSERT_TRUE(ClearCookieDatabase(chromium, "cookies"));
    ASSERT_TRUE(ClearCookieDatabase(firefox, "moz_cookies"));
    EXPECT_EQ(Count(chromium, "cookies"), "0");
    EXPECT_EQ(Count(firefox, "moz_cookies"), "0");
    EXPECT_EQ(DatabaseIntegrity(chromium), "ok");
    EXPECT_EQ(DatabaseIntegrity(firefox), "ok");
    EXPECT_EQ(Bytes(chromium).find("secret-token"), std::string::npos);
}

TEST(BrowserDatabases, ABusyMissingOrForeignDatabaseIsLeftAsItWas) {
    TTempFolder temp(L"busy");
    const std::wstring cookies = temp.Path() + L"Cookies";
    MakeCookies(cookies, "cookies");
    {
        // Another program in the middle of a write: nothing is waited for, nothing changes.
        sqlite3* other = nullptr;
        sqlite3_open_v2(ToUtf8(cookies).c_str(), &other, SQLITE_OPEN_READWRITE, nullptr);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_FALSE(ClearCookieDatabase(cookies, "cookies"));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }
    EXPECT_EQ(Count(cookies, "cookies"), "2");
    // A database without the table (not what it claims to be) is not changed.
    EXPECT_FALSE(ClearCookieDatabase(cookies, "moz_cookies"));
    EXPECT_FALSE(ClearChromiumHistoryDatabase(cookies));
    EXPECT_EQ(Count(cookies, "cookies"), "2");
    // A missing database is never created, and a text file is not a database.
    EXPECT_FALSE(ClearChromiumHistoryDatabase(temp.Path() + L"History"));
    EXPECT_FALSE(FileExists(temp.Path() + L"History"));
    WriteText(temp.Path() + L"places.sqlite", "not a database");
    EXPECT_FALSE(ClearFirefoxPlacesHistory(temp.Path() + L"places.sqlite"));
    EXPECT_EQ(Bytes(temp.Path() + L"places.sqlite"), "not a database");
}

// --- Whole profiles ---

// A Chromium user-data folder with two profiles and the user's files beside the junk.
void MakeChromiumUserData(const TTempFolder& temp) {
    for (const wchar_t* profile : {L"Default", L"Profile 1"}) {
        const std::wstring folder = temp.Path() + profile + L"\\";
        temp.CreateFile(std::wstring(profile) + L"\\Cache\\Cache_Data\\data_1", 4096);
        temp.CreateFile(std::wstring(profile) + L"\\Cache\\Cache_Data\\f_00001a", 20000);
        temp.CreateFile(std::wstring(profile) + L"\\Code Cache\\js\\index-dir\\the-real-index", 300);
        temp.CreateFile(std::wstring(profile) + L"\\GPUCache\\data_0", 8192);
        WriteText(folder + L"Bookmarks", "{\"roots\": {\"bookmark_bar\": {\"children\": []}}}");
        WriteText(folder + L"Preferences", "{\"profile\": {\"name\": \"Person 1\"}}");
        WriteText(folder + L"Login Data", "logins");
        WriteText(folder + L"Extensions\\abc\\1.0\\manifest.json", "{}");
        WriteText(folder + L"Sessions\\Session_1", "session");
        MakeChromiumHistory(folder + L"History");
        CreateDirectoryTree(folder + L"Network");
        MakeCookies(folder + L"Network\\Cookies", "cookies");
    }
    WriteText(temp.Path() + L"Local State", "{\"profile\": {}}");
}

bool IsJunk(const std::wstring& path) {
    return path.find(L"\\Cache\\") != std::wstring::npos || path.find(L"\\Code Cache\\") != std::wstring::npos ||
           path.find(L"\\GPUCache\\") != std::wstring::npos;
}

TEST(BrowserActions, ChromiumCacheEmptiesEveryProfilesCachesAndNothingElse) {
    TTempFolder temp(L"crcache");
    MakeChromiumUserData(temp);
    const auto before = Snapshot(temp.Path());
    ASSERT_TRUE(CleanChromiumUserData(temp.Path(), TBrowserPart::Cache));
    const auto after = Snapshot(temp.Path());
    for (const auto& [path, bytes] : before) {
        if (IsJunk(path))
            EXPECT_EQ(after.count(path), 0u) << ToUtf8(path);
        else
            EXPECT_TRUE(after.count(path) && after.at(path) == bytes) << ToUtf8(path) << " changed";
    }
    EXPECT_TRUE(FolderExists(temp.Path() + L"Profile 1\\Cache\\Cache_Data"));
}

TEST(BrowserActions, ARunningChromiumBrowserKeepsEveryFile) {
    TTempFolder temp(L"crrun");
    MakeChromiumUserData(temp);
    const THandle running = HoldLock(temp.Path() + L"lockfile");
    ASSERT_TRUE(running);
    const auto before = Snapshot(temp.Path());
    for (TBrowserPart part : {TBrowserPart::Cache, TBrowserPart::Cookies, TBrowserPart::History})
        EXPECT_FALSE(CleanChromiumUserData(temp.Path(), part));
    EXPECT_EQ(Snapshot(temp.Path()), before);
}

TEST(BrowserActions, ChromiumHistoryAndCookiesGoFromEveryProfile) {
    TTempFolder temp(L"crrows");
    MakeChromiumUserData(temp);
    const std::string bookmarks = Bytes(temp.Path() + L"Profile 1\\Bookmarks");
    ASSERT_TRUE(CleanChromiumUserData(temp.Path(), TBrowserPart::History));
    ASSERT_TRUE(CleanChromiumUserData(temp.Path(), TBrowserPart::Cookies));
    for (const wchar_t* profile : {L"Default\\", L"Profile 1\\"}) {
        EXPECT_EQ(Count(temp.Path() + profile + L"History", "visits"), "0");
        EXPECT_EQ(Count(temp.Path() + profile + L"Network\\Cookies", "cookies"), "0");
        EXPECT_EQ(DatabaseIntegrity(temp.Path() + profile + L"History"), "ok");
    }
    EXPECT_EQ(Bytes(temp.Path() + L"Profile 1\\Bookmarks"), bookmarks);
}

TEST(BrowserActions, FirefoxPassesOverTheRunningProfileAndCleansTheOther) {
    TTempFolder temp(L"ffrun");
    std::vector<TFirefoxProfile> profiles;
    for (const wchar_t* name : {L"running", L"closed"}) {
        TFirefoxProfile profile{temp.Path() + L"Roaming\\" + name + L"\\", temp.Path() + L"Local\\" + name + L"\\"};
        CreateDirectoryTree(profile.Folder);
        MakeFirefoxPlaces(profile.Folder + L"places.sqlite");
        MakeCookies(profile.Folder + L"cookies.sqlite", "moz_cookies");
        WriteText(profile.Folder + L"prefs.js", "user_pref(\"browser.startup.page\", 3);");
        WriteText(profile.Folder + L"logins.json", "{\"logins\": []}");
        temp.CreateFile(std::wstring(L"Local\\") + name + L"\\cache2\\entries\\0A1B2C", 30000);
        profiles.push_back(profile);
    }
    const THandle running = HoldLock(profiles[0].Folder + L"parent.lock");
    ASSERT_TRUE(running);
    EXPECT_TRUE(AnyFirefoxProfileRunning(profiles));
    const auto runningBefore = Snapshot(temp.Path() + L"Roaming\\running\\");
    for (TBrowserPart part : {TBrowserPart::Cache, TBrowserPart::Cookies, TBrowserPart::History})
        EXPECT_EQ(CleanFirefoxProfiles(profiles, part), 1);
    EXPECT_EQ(Snapshot(temp.Path() + L"Roaming\\running\\"), runningBefore);
    EXPECT_TRUE(FileExists(temp.Path() + L"Local\\running\\cache2\\entries\\0A1B2C"));
    EXPECT_FALSE(FileExists(temp.Path() + L"Local\\closed\\cache2\\entries\\0A1B2C"));
    EXPECT_EQ(Count(profiles[1].Folder + L"places.sqlite", "moz_historyvisits"), "0");
    EXPECT_EQ(Count(profiles[1].Folder + L"cookies.sqlite", "moz_cookies"), "0");
    EXPECT_EQ(Count(profiles[1].Folder + L"places.sqlite", "moz_bookmarks"), "3");
    EXPECT_EQ(Bytes(profiles[1].Folder + L"logins.json"), "{\"logins\": []}");
}

// The actions themselves, at the browsers' real places in the sandbox's profile:
// a running browser is named in the second detail line and its profile kept;
// once it has closed the line is the action's own and the rows go.
TEST(BrowserActionRows, ARunningBrowserIsNamedInTheDetailLinesAndKeptUntilItCloses) {
    TSandboxLock chromeLock(L"ChromeProfile"), firefoxLock(L"FirefoxProfile");
    const std::wstring local = GetSpecialFolder(CSIDL_LOCAL_APPDATA), roaming = GetSpecialFolder(CSIDL_APPDATA);
    ASSERT_FALSE(local.empty());
    if (PathExists(local + L"Google") || PathExists(roaming + L"Mozilla") || PathExists(local + L"Mozilla"))
        GTEST_SKIP() << "the sandbox already holds browser folders that are not this test's";
    const std::wstring chrome = local + L"Google\\Chrome\\User Data\\", firefox = roaming + L"Mozilla\\Firefox\\";
    struct TRemoveAtEnd {
        std::vector<std::wstring> Folders;
        ~TRemoveAtEnd() {
            for (const auto& folder : Folders) RemoveTree(folder);
        }
    } made{{local + L"Google", roaming + L"Mozilla"}};
    CreateDirectoryTree(chrome + L"Default");
    MakeChromiumHistory(chrome + L"Default\\History");
    WriteText(firefox + L"profiles.ini", "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/t.default\r\n");
    WriteText(firefox + L"Profiles\\t.default\\prefs.js", "");
    MakeFirefoxPlaces(firefox + L"Profiles\\t.default\\places.sqlite");
    ASSERT_TRUE(TClearGoogleChromeHistory::IsAvailable());
    ASSERT_TRUE(TClearFirefoxQuantumHistory::IsAvailable());
    EXPECT_FALSE(TClearMicrosoftEdgeHistory::IsAvailable());

    auto chromeCookies = TCleanupCustomItem::ClassOf<TClearGoogleChromeCookies>().Create();
    auto chromeHistory = TCleanupCustomItem::ClassOf<TClearGoogleChromeHistory>().Create();
    auto firefoxHistory = TCleanupCustomItem::ClassOf<TClearFirefoxQuantumHistory>().Create();
    std::wstring line;
    {
        const THandle chromeRuns = HoldLock(chrome + L"lockfile");
        const THandle firefoxRuns = HoldLock(firefox + L"Profiles\\t.default\\parent.lock");
        chromeCookies->GetSecondInfoLine(line);
        EXPECT_EQ(line, L"Google Chrome 正在运行，清理时将跳过它。");
        firefoxHistory->GetSecondInfoLine(line);
        EXPECT_EQ(line, L"Mozilla Firefox 正在运行，清理时将跳过它正在使用的配置文件。");
        chromeHistory->Perform();
        firefoxHistory->Perform();
        EXPECT_EQ(Count(chrome + L"Default\\History", "visits"), "4");
        EXPECT_EQ(Count(firefox + L"Profiles\\t.default\\places.sqlite", "moz_historyvisits"), "5");
    }
    chromeCookies->GetSecondInfoLine(line);
    EXPECT_EQ(line, L"以保持登录到经常访问的站点。");
    chromeHistory->Perform();
    firefoxHistory->Perform();
    EXPECT_EQ(Count(chrome + L"Default\\History", "visits"), "0");
    EXPECT_EQ(Count(firefox + L"Profiles\\t.default\\places.sqlite", "moz_historyvisits"), "0");
}

}  // namespace
