// Today's browsers against profiles and SQLite databases the tests make: the
// history and cookie rows go from every store that holds them, bookmarks and
// everything else of the user's stay byte for byte, a held profile lock keeps
// every file and a missing one is made for the clean, a link in a database's
// place is never opened, and profiles.ini's Install and Profile sections all count.
#include "catalogue/BrowserActions.h"
#include "catalogue/BrowserDatabases.h"
#include "catalogue/BrowserProfiles.h"
#include "catalogue/FolderMasks.h"
#include "engine/FolderPaths.h"
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
         " visit_count INTEGER DEFAULT 0 NOT NULL, typed_count INTEGER DEFAULT 0 NOT NULL,"
         " last_visit_time INTEGER NOT NULL, hidden INTEGER DEFAULT 0 NOT NULL);"
         "CREATE INDEX urls_url_index ON urls (url);"
         "CREATE TABLE visits(id INTEGER PRIMARY KEY AUTOINCREMENT, url INTEGER NOT NULL, visit_time INTEGER NOT NULL,"
         " from_visit INTEGER, segment_id INTEGER);"
         "CREATE INDEX visits_url_index ON visits (url);"
         "CREATE TABLE keyword_search_terms(keyword_id INTEGER NOT NULL, url_id INTEGER NOT NULL,"
         " term LONGVARCHAR NOT NULL, normalized_term LONGVARCHAR NOT NULL);"
         "CREATE TABLE segments (id INTEGER PRIMARY KEY, name VARCHAR, url_id INTEGER NON NULL);"
         "CREATE TABLE segment_usage (id INTEGER PRIMARY KEY, segment_id INTEGER NOT NULL,"
         " time_slot INTEGER NOT NULL, visit_count INTEGER DEFAULT 0 NOT NULL);"
         "CREATE TABLE downloads(id INTEGER PRIMARY KEY, target_path LONGVARCHAR NOT NULL);"
         "INSERT INTO urls(url, title, visit_count, typed_count, last_visit_time) VALUES"
         " ('https://news.example/', 'News', 3, 1, 1), ('https://bank.example/login', 'Bank', 1, 0, 2),"
         " ('https://docs.example/manual', 'Manual', 5, 2, 3);"
         "INSERT INTO visits(url, visit_time) VALUES (1, 1), (1, 2), (1, 3), (2, 4), (3, 5);"
         "INSERT INTO keyword_search_terms VALUES (1, 1, 'Weather', 'weather');"
         "INSERT INTO segments VALUES (1, 'http://bank.example/', 2);"
         "INSERT INTO segment_usage VALUES (1, 1, 100, 1);"
         "INSERT INTO downloads VALUES (1, 'C:\\Users\\u\\Downloads\\setup.exe');");
}

// The other stores of visited pages, shaped as Chromium makes them.
void MakeChromiumFavicons(const std::wstring& file) {
    Exec(file,
         "CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
         "CREATE TABLE icon_mapping(id INTEGER PRIMARY KEY, page_url LONGVARCHAR NOT NULL, icon_id INTEGER,"
         " page_url_type INTEGER DEFAULT 0);"
         "CREATE INDEX icon_mapping_page_url_idx ON icon_mapping(page_url);"
         "CREATE TABLE favicons(id INTEGER PRIMARY KEY, url LONGVARCHAR NOT NULL, icon_type INTEGER DEFAULT 1);"
         "CREATE TABLE favicon_bitmaps(id INTEGER PRIMARY KEY, icon_id INTEGER NOT NULL, last_updated INTEGER DEFAULT 0,"
         " image_data BLOB, width INTEGER DEFAULT 0, height INTEGER DEFAULT 0, last_requested INTEGER DEFAULT 0);"
         "INSERT INTO meta VALUES ('version', '9');"
         "INSERT INTO favicons VALUES (1, 'https://news.example/favicon.ico', 1), (2, 'https://bank.example/b.png', 1),"
         " (3, 'https://docs.example/favicon.ico', 1);"
         "INSERT INTO icon_mapping VALUES (1, 'https://news.example/', 1, 0), (2, 'https://bank.example/login', 2, 0),"
         " (3, 'https://docs.example/manual', 3, 0), (4, 'https://news.example/world', 1, 0);"
         "INSERT INTO favicon_bitmaps(icon_id, image_data, width, height) VALUES (1, x'89504e47', 16, 16),"
         " (2, x'89504e47', 16, 16), (3, x'89504e47', 16, 16), (3, x'89504e47', 32, 32);");
}

void MakeChromiumHistoryOnlyStores(const std::wstring& profile) {
    Exec(profile + L"Top Sites",
         "CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
         "CREATE TABLE top_sites(url TEXT NOT NULL PRIMARY KEY, url_rank INTEGER NOT NULL, title TEXT NOT NULL);"
         "INSERT INTO meta VALUES ('version', '5');"
         "INSERT INTO top_sites VALUES ('https://news.example/', 0, 'News'), ('https://bank.example/login', 1, 'Bank');");
    Exec(profile + L"Shortcuts",
         "CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
         "CREATE TABLE omni_box_shortcuts(id VARCHAR PRIMARY KEY, text VARCHAR, fill_into_edit VARCHAR, url VARCHAR,"
         " document_type INTEGER, contents VARCHAR, contents_class VARCHAR, description VARCHAR,"
         " description_class VARCHAR, transition INTEGER, type INTEGER, keyword VARCHAR, last_access_time INTEGER,"
         " number_of_hits INTEGER);"
         "INSERT INTO meta VALUES ('version', '2');"
         "INSERT INTO omni_box_shortcuts VALUES ('A1', 'ban', 'bank.example/login', 'https://bank.example/login', 0,"
         " 'bank.example/login', '0,1', 'Bank', '0,0', 1, 0, '', 13300000000000000, 4);");
    Exec(profile + L"Network Action Predictor",
         "CREATE TABLE network_action_predictor(id TEXT PRIMARY KEY, user_text TEXT, url TEXT,"
         " number_of_hits INTEGER, number_of_misses INTEGER);"
         "CREATE TABLE resource_prefetch_predictor_host_redirect ( key TEXT, proto BLOB, PRIMARY KEY(key));"
         "CREATE TABLE resource_prefetch_predictor_origin ( key TEXT, proto BLOB, PRIMARY KEY(key));"
         "CREATE TABLE resource_prefetch_predictor_metadata ( key TEXT, value INTEGER, PRIMARY KEY (key));"
         "INSERT INTO network_action_predictor VALUES ('B2', 'ban', 'https://bank.example/login', 3, 0);"
         "INSERT INTO resource_prefetch_predictor_host_redirect VALUES ('bank.example', x'0a0c');"
         "INSERT INTO resource_prefetch_predictor_origin VALUES ('bank.example', x'0a0c');"
         "INSERT INTO resource_prefetch_predictor_metadata VALUES ('version', 7);");
}

// The bookmarks of a Chromium profile, with the page the tests keep.
const char* const ChromiumBookmarks =
    "{\"checksum\": \"0\", \"roots\": {\"bookmark_bar\": {\"children\": [{\"name\": \"Manual\", \"type\": \"url\","
    " \"url\": \"https://docs.example/manual\"}], \"type\": \"folder\"}}, \"version\": 1}";

void MakeFirefoxPlaces(const std::wstring& file) {
    Exec(file,
         "PRAGMA journal_mode=WAL;"
         "CREATE TABLE moz_origins(id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL);"
         "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,"
         " visit_count INTEGER DEFAULT 0, typed INTEGER DEFAULT 0 NOT NULL, last_visit_date INTEGER,"
         " foreign_count INTEGER DEFAULT 0 NOT NULL, origin_id INTEGER);"
         "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, from_visit INTEGER, place_id INTEGER,"
         " visit_date INTEGER, visit_type INTEGER);"
         "CREATE TABLE moz_bookmarks(id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent INTEGER,"
         " title LONGVARCHAR, guid TEXT);"
         "CREATE TABLE moz_keywords(id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE, place_id INTEGER);"
         "CREATE TABLE moz_inputhistory(place_id INTEGER NOT NULL, input LONGVARCHAR NOT NULL);"
         "CREATE TABLE moz_anno_attributes(id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL);"
         "CREATE TABLE moz_annos(id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL, anno_attribute_id INTEGER,"
         " content LONGVARCHAR, flags INTEGER DEFAULT 0, expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0,"
         " dateAdded INTEGER DEFAULT 0, lastModified INTEGER DEFAULT 0);"
         "INSERT INTO moz_origins VALUES (1, 'https://', 'docs.example'), (2, 'https://', 'news.example'),"
         " (3, 'https://', 'search.example'), (4, 'https://', 'files.example');"
         "INSERT INTO moz_places VALUES (1, 'https://docs.example/manual', 'Manual', 4, 1, 100, 1, 1),"
         " (2, 'https://news.example/today', 'Today', 9, 1, 200, 0, 2), (3, 'https://news.example/old', 'Old', 1, 0, 50, 0, 2),"
         " (4, 'https://search.example/?q=%s', 'Search', 2, 0, 300, 1, 3), (5, 'https://docs.example/faq', 'FAQ', 0, 0, NULL, 1, 1),"
         // A download: its place is referred to by annotations only.
         " (6, 'https://files.example/setup.exe', 'setup.exe', 1, 0, 400, 0, 4);"
         "INSERT INTO moz_anno_attributes VALUES (1, 'downloads/destinationFileURI'), (2, 'downloads/metaData');"
         "INSERT INTO moz_annos(place_id, anno_attribute_id, content) VALUES"
         " (6, 1, 'file:///C:/Users/u/Downloads/setup.exe'), (6, 2, '{\"state\":1}');"
         "INSERT INTO moz_historyvisits(place_id, visit_date, visit_type) VALUES (1, 100, 1), (2, 150, 1),"
         " (2, 200, 1), (3, 50, 1), (4, 300, 2), (6, 400, 7);"
         // Folders (fk NULL), a bookmark of place 1 and one of place 5, which was never visited.
         "INSERT INTO moz_bookmarks VALUES (1, 2, NULL, 0, 'menu', 'menu________'),"
         " (2, 1, 1, 1, 'Manual', 'bm1'), (3, 1, 5, 1, 'FAQ', 'bm2');"
         "INSERT INTO moz_keywords(keyword, place_id) VALUES ('s', 4);"
         "INSERT INTO moz_inputhistory VALUES (2, 'new');");
}

void MakeFirefoxFavicons(const std::wstring& file) {
    Exec(file,
         "CREATE TABLE moz_pages_w_icons (id INTEGER PRIMARY KEY, page_url TEXT NOT NULL, page_url_hash INTEGER NOT NULL);"
         "CREATE TABLE moz_icons (id INTEGER PRIMARY KEY, icon_url TEXT NOT NULL, fixed_icon_url_hash INTEGER NOT NULL,"
         " width INTEGER NOT NULL DEFAULT 0, root INTEGER NOT NULL DEFAULT 0, color INTEGER,"
         " expire_ms INTEGER NOT NULL DEFAULT 0, flags INTEGER NOT NULL DEFAULT 0, data BLOB);"
         "CREATE TABLE moz_icons_to_pages (page_id INTEGER NOT NULL, icon_id INTEGER NOT NULL,"
         " expire_ms INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (page_id, icon_id)) WITHOUT ROWID;"
         "INSERT INTO moz_pages_w_icons VALUES (1, 'https://docs.example/manual', 11), (2, 'https://news.example/today', 12),"
         " (3, 'https://news.example/old', 13);"
         // Site icons (root) of a kept and of a forgotten origin, and page icons.
         "INSERT INTO moz_icons(id, icon_url, fixed_icon_url_hash, width, root, data) VALUES"
         " (1, 'https://docs.example/favicon.ico', 21, 16, 1, x'00'), (2, 'https://news.example/favicon.ico', 22, 16, 1, x'00'),"
         " (3, 'https://docs.example/logo.png', 23, 32, 0, x'00'), (4, 'https://news.example/n.png', 24, 32, 0, x'00');"
         "INSERT INTO moz_icons_to_pages(page_id, icon_id) VALUES (1, 3), (2, 4), (3, 4);");
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

// Chromium makes its lockfile delete-on-close: a closed browser leaves none.
// The clean makes one the same way, so a browser starting meanwhile fails to
// make its own (as against a running copy), and it goes with the clean.
TEST(BrowserProfiles, AMissingLockIsMadeForTheCleanAndGoesWithIt) {
    TTempFolder temp(L"mklock");
    const std::wstring lockFile = temp.Path() + L"lockfile";
    {
        const TBrowserProfileLock lock(lockFile);
        ASSERT_TRUE(lock.Free());
        EXPECT_TRUE(FileExists(lockFile));
        // What a starting Chromium does.
        const THandle starting(::CreateFileW(lockFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                             FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        EXPECT_FALSE(starting);
        EXPECT_EQ(ProbeProfileLock(lockFile), TProfileLockState::Held);
    }
    EXPECT_FALSE(FileExists(lockFile));
    // One a crash left behind is held and stays; Firefox's parent.lock always stays.
    WriteText(lockFile, "");
    {
        const TBrowserProfileLock lock(lockFile);
        EXPECT_TRUE(lock.Free());
    }
    EXPECT_TRUE(FileExists(lockFile));
    // No profile folder: nothing to hold, nothing made.
    EXPECT_TRUE(TBrowserProfileLock(temp.Path() + L"gone\\lockfile").Free());
    EXPECT_FALSE(PathExists(temp.Path() + L"gone"));
}

TEST(BrowserProfiles, TheBookmarkedAddressesAreEveryUrlValueOfBothBookmarkFiles) {
    EXPECT_EQ(JsonUrlValues("{\"roots\": {\"bookmark_bar\": {\"children\": [{\"type\": \"url\", "
                            "\"url\": \"https://a.example/?x=1\\u0026y=\\\"2\\\"\"},"
                            " {\"children\": [{\"url\" : \"https:\\/\\/b.example\\/\\u00e9\\ud83d\\ude00\"}],"
                            " \"meta_info\": {\"url\": 5}, \"name\": \"url\", \"title\": \"https://c.example/\"}]}}}"),
              (std::vector<std::string>{"https://a.example/?x=1&y=\"2\"", "https://b.example/\xC3\xA9\xF0\x9F\x98\x80"}));
    // A broken file yields what came before the break.
    EXPECT_EQ(JsonUrlValues("{\"url\": \"https://a.example/\", \"url\": \"https://b.exa"),
              std::vector<std::string>{"https://a.example/"});
    TTempFolder temp(L"bmarks");
    EXPECT_TRUE(ChromiumBookmarkedUrls(temp.Path()).empty());
    WriteText(temp.Path() + L"Bookmarks", ChromiumBookmarks);
    WriteText(temp.Path() + L"Account Bookmarks", "{\"roots\": {\"other\": {\"children\": [{\"url\": \"https://acct.example/\"}]}}}");
    EXPECT_EQ(ChromiumBookmarkedUrls(temp.Path()),
              (std::vector<std::string>{"https://docs.example/manual", "https://acct.example/"}));
}

// --- Databases ---

TEST(BrowserDatabases, ChromiumHistoryKeepsOnlyTheBookmarkedRowsWithoutTheirVisitsAndKeepsDownloads) {
    TTempFolder temp(L"crhist");
    const std::wstring history = temp.Path() + L"History";
    MakeChromiumHistory(history);
    ASSERT_TRUE(ClearChromiumHistoryDatabase(history, {"https://docs.example/manual", "https://never.example/"}));
    for (const char* table : {"visits", "keyword_search_terms", "segments", "segment_usage"})
        EXPECT_EQ(Count(history, table), "0") << table;
    EXPECT_EQ(Column(history, "SELECT url||' '||visit_count||' '||typed_count||' '||last_visit_time FROM urls"),
              std::vector<std::string>{"https://docs.example/manual 0 0 0"});
    EXPECT_EQ(Count(history, "downloads"), "1");
    EXPECT_EQ(DatabaseIntegrity(history), "ok");
    // No visited page can be read back from the file's free pages.
    const std::string bytes = Bytes(history);
    for (const char* gone : {"bank.example", "news.example", "Weather"})
        EXPECT_EQ(bytes.find(gone), std::string::npos) << gone;
}

TEST(BrowserDatabases, ChromiumFaviconsKeepTheBookmarkedPagesIconsAndNothingElse) {
    TTempFolder temp(L"crfav");
    const std::wstring favicons = temp.Path() + L"Favicons";
    MakeChromiumFavicons(favicons);
    ASSERT_TRUE(ClearChromiumFaviconDatabase(favicons, {"https://docs.example/manual"}));
    EXPECT_EQ(Column(favicons, "SELECT page_url FROM icon_mapping"),
              std::vector<std::string>{"https://docs.example/manual"});
    EXPECT_EQ(Column(favicons, "SELECT url FROM favicons"),
              std::vector<std::string>{"https://docs.example/favicon.ico"});
    EXPECT_EQ(Column(favicons, "SELECT group_concat(width) FROM favicon_bitmaps"), std::vector<std::string>{"16,32"});
    EXPECT_EQ(Count(favicons, "meta"), "1");
    EXPECT_EQ(DatabaseIntegrity(favicons), "ok");
    EXPECT_EQ(Bytes(favicons).find("news.example"), std::string::npos);
    // Without bookmarks nothing stays.
    ASSERT_TRUE(ClearChromiumFaviconDatabase(favicons, {}));
    EXPECT_EQ(Count(favicons, "favicon_bitmaps"), "0");
}

TEST(BrowserDatabases, TopSitesShortcutsAndPredictorLoseEveryRowButTheirSchemaBookkeeping) {
    TTempFolder temp(L"crstores");
    MakeChromiumHistoryOnlyStores(temp.Path());
    ASSERT_TRUE(ClearHistoryOnlyDatabase(temp.Path() + L"Top Sites", "top_sites"));
    ASSERT_TRUE(ClearHistoryOnlyDatabase(temp.Path() + L"Shortcuts", "omni_box_shortcuts"));
    const std::wstring predictor = temp.Path() + L"Network Action Predictor";
    ASSERT_TRUE(ClearHistoryOnlyDatabase(predictor, "network_action_predictor"));
    EXPECT_EQ(Count(temp.Path() + L"Top Sites", "top_sites"), "0");
    EXPECT_EQ(Count(temp.Path() + L"Top Sites", "meta"), "1");
    EXPECT_EQ(Count(temp.Path() + L"Shortcuts", "omni_box_shortcuts"), "0");
    for (const char* table : {"network_action_predictor", "resource_prefetch_predictor_host_redirect",
                              "resource_prefetch_predictor_origin"})
        EXPECT_EQ(Count(predictor, table), "0") << table;
    EXPECT_EQ(Count(predictor, "resource_prefetch_predictor_metadata"), "1");
    for (const wchar_t* store : {L"Top Sites", L"Shortcuts", L"Network Action Predictor"}) {
        EXPECT_EQ(DatabaseIntegrity(temp.Path() + store), "ok");
        EXPECT_EQ(Bytes(temp.Path() + store).find("bank.example"), std::string::npos) << ToUtf8(store);
    }
    // A database without the store's table is someone else's.
    EXPECT_FALSE(ClearHistoryOnlyDatabase(temp.Path() + L"Top Sites", "omni_box_shortcuts"));
}

TEST(BrowserDatabases, FirefoxHistoryKeepsOnlyPlacesOthersCountAndTheirIcons) {
    TTempFolder temp(L"ffhist");
    const std::wstring places = temp.Path() + L"places.sqlite", favicons = temp.Path() + L"favicons.sqlite";
    MakeFirefoxPlaces(places);
    MakeFirefoxFavicons(favicons);
    const auto bookmarksBefore = Column(places, "SELECT id||'|'||type||'|'||ifnull(fk,'')||'|'||title||'|'||guid "
                                                "FROM moz_bookmarks ORDER BY id");
    TFirefoxKeptPlaces kept;
    ASSERT_TRUE(ClearFirefoxPlacesHistory(places, &kept));
    EXPECT_EQ(Count(places, "moz_historyvisits"), "0");
    EXPECT_EQ(Count(places, "moz_inputhistory"), "0");
    // Bookmarked (1, 5) and keyword (4) places stay with their addresses; the
    // download (6), kept by annotations only, goes with them.
    EXPECT_EQ(Column(places, "SELECT id||' '||url FROM moz_places ORDER BY id"),
              (std::vector<std::string>{"1 https://docs.example/manual", "4 https://search.example/?q=%s",
                                        "5 https://docs.example/faq"}));
    EXPECT_EQ(Count(places, "moz_annos"), "0");
    EXPECT_EQ(Count(places, "moz_anno_attributes"), "0");
    EXPECT_EQ(Column(places, "SELECT count(*) FROM moz_places WHERE visit_count<>0 OR typed<>0 "
                             "OR last_visit_date IS NOT NULL"),
              std::vector<std::string>{"0"});
    EXPECT_EQ(Column(places, "SELECT id||'|'||type||'|'||ifnull(fk,'')||'|'||title||'|'||guid "
                             "FROM moz_bookmarks ORDER BY id"),
              bookmarksBefore);
    EXPECT_EQ(Count(places, "moz_keywords"), "1");
    EXPECT_EQ(Column(places, "SELECT host FROM moz_origins ORDER BY id"),
              (std::vector<std::string>{"docs.example", "search.example"}));
    EXPECT_EQ(kept.Urls.size(), 3u);
    EXPECT_EQ(kept.Origins, (std::vector<std::string>{"https://docs.example", "https://search.example"}));
    EXPECT_EQ(DatabaseIntegrity(places), "ok");
    for (const char* gone : {"news.example", "files.example", "setup.exe"})
        EXPECT_EQ(Bytes(places).find(gone), std::string::npos) << gone;

    ASSERT_TRUE(ClearFirefoxFavicons(favicons, kept));
    EXPECT_EQ(Column(favicons, "SELECT page_url FROM moz_pages_w_icons"),
              std::vector<std::string>{"https://docs.example/manual"});
    // The kept page's icon and its site's icon stay; the forgotten site's go.
    EXPECT_EQ(Column(favicons, "SELECT icon_url FROM moz_icons ORDER BY id"),
              (std::vector<std::string>{"https://docs.example/favicon.ico", "https://docs.example/logo.png"}));
    EXPECT_EQ(Count(favicons, "moz_icons_to_pages"), "1");
    EXPECT_EQ(DatabaseIntegrity(favicons), "ok");
    EXPECT_EQ(Bytes(favicons).find("news.example"), std::string::npos);
}

// Firefox keeps its newest pages in the -wal until it checkpoints; after the
// clean neither the -wal nor the database may hold them.
TEST(BrowserDatabases, AWalDatabaseIsCheckpointedSoNoFileHoldsTheOldRows) {
    TTempFolder temp(L"ffwal");
    const std::wstring places = temp.Path() + L"places.sqlite";
    MakeFirefoxPlaces(places);
    sqlite3* browser = nullptr;
    ASSERT_EQ(sqlite3_open_v2(ToUtf8(places).c_str(), &browser, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(browser,
                           "PRAGMA wal_autocheckpoint=0;"
                           "INSERT INTO moz_places(id, url, title, origin_id) VALUES (7, 'https://fresh.example/wal-only',"
                           " 'Fresh', 2);"
                           "INSERT INTO moz_historyvisits(place_id, visit_date, visit_type) VALUES (7, 500, 1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    ASSERT_NE(Bytes(places + L"-wal").find("fresh.example"), std::string::npos);
    ASSERT_EQ(Bytes(places).find("fresh.example"), std::string::npos);
    ASSERT_TRUE(ClearFirefoxPlacesHistory(places));
    // The other connection is still open, so the -wal stays, emptied.
    EXPECT_EQ(Bytes(places + L"-wal"), "");
    sqlite3_close(browser);
    EXPECT_EQ(Count(places, "moz_places"), "3");
    EXPECT_EQ(DatabaseIntegrity(places), "ok");
    for (const std::wstring& file : {places, places + L"-wal"})
        for (const char* gone : {"fresh.example", "news.example"})
            EXPECT_EQ(Bytes(file).find(gone), std::string::npos) << ToUtf8(file) << ": " << gone;
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

// Windows shows a file symbolic link as a reparse point; SQLite would write
// and delete through one. Wine cannot make such links, so the attributes are
// answered here as Windows would answer them.
std::wstring LinkSuffix;
DWORD AttributesWithLink(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool link = path.size() >= LinkSuffix.size() &&
                      path.compare(path.size() - LinkSuffix.size(), LinkSuffix.size(), LinkSuffix) == 0;
    return attributes != INVALID_FILE_ATTRIBUTES && link ? attributes | FILE_ATTRIBUTE_REPARSE_POINT : attributes;
}

TEST(BrowserDatabases, ADatabaseOrCompanionThatIsALinkIsNeverOpened) {
    TTempFolder temp(L"links");
    const std::wstring history = temp.Path() + L"History";
    MakeChromiumHistory(history);
    WriteText(history + L"-journal", "");
    const std::string before = Bytes(history);
    struct TRestore {
        ~TRestore() { SetDatabaseAttributesForTesting(nullptr); }
    } restore;
    SetDatabaseAttributesForTesting(AttributesWithLink);
    for (const wchar_t* link : {L"\\History", L"History-journal", L"History-wal"}) {
        LinkSuffix = link;
        WriteText(history + L"-wal", "");
        EXPECT_FALSE(ClearChromiumHistoryDatabase(history)) << ToUtf8(link);
        EXPECT_EQ(Bytes(history), before) << ToUtf8(link);
        EXPECT_TRUE(FileExists(history + L"-journal")) << ToUtf8(link);
    }
    // The same files, none of them a link, are cleaned.
    SetDatabaseAttributesForTesting(nullptr);
    ::DeleteFileW((history + L"-wal").c_str());
    EXPECT_TRUE(ClearChromiumHistoryDatabase(history));
    EXPECT_EQ(Count(history, "visits"), "0");
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
        WriteText(folder + L"Bookmarks", ChromiumBookmarks);
        WriteText(folder + L"Web Data", "autofill entries");
        WriteText(folder + L"Visited Links", std::string("VLnk\x03\0\0\0", 8) + std::string(64, '\x5a'));
        MakeChromiumFavicons(folder + L"Favicons");
        MakeChromiumHistoryOnlyStores(folder);
        WriteText(folder + L"Preferences", "{\"profile\": {\"name\": \"Person 1\"}}");
        WriteText(folder + L"Login Data", "logins");
        WriteText(folder + L"Extensions\\abc\\1.0\\manifest.json", "{}");
        WriteText(folder + L"Sessions\\Session_1", "session");
        MakeChromiumHistory(folder + L"History");
        CreateDirectoryTree(folder + L"Network");
        MakeCookies(folder + L"Network\\Cookies", "cookies");
        WriteText(folder + L"Network\\TransportSecurity", "{\"sts\": []}");
        WriteText(folder + L"Network Persistent State", "{\"net\": {}}");
        WriteText(folder + L"Network\\Reporting and NEL", "kept");
    }
    WriteText(temp.Path() + L"Local State", "{\"profile\": {}}");
}

bool IsJunk(const std::wstring& path) {
    return path.find(L"\\Cache\\") != std::wstring::npos || path.find(L"\\Code Cache\\") != std::wstring::npos ||
           path.find(L"\\GPUCache\\") != std::wstring::npos || path.find(L"TransportSecurity") != std::wstring::npos ||
           path.find(L"Network Persistent State") != std::wstring::npos;
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

TEST(BrowserActions, ChromiumHistoryAndCookiesGoFromEveryStoreOfEveryProfile) {
    TTempFolder temp(L"crrows");
    MakeChromiumUserData(temp);
    const auto before = Snapshot(temp.Path());
    ASSERT_TRUE(CleanChromiumUserData(temp.Path(), TBrowserPart::History));
    ASSERT_TRUE(CleanChromiumUserData(temp.Path(), TBrowserPart::Cookies));
    const auto after = Snapshot(temp.Path());
    for (const wchar_t* profile : {L"Default\\", L"Profile 1\\"}) {
        const std::wstring folder = temp.Path() + profile;
        EXPECT_EQ(Count(folder + L"History", "visits"), "0");
        EXPECT_EQ(Column(folder + L"History", "SELECT url FROM urls"),
                  std::vector<std::string>{"https://docs.example/manual"});
        EXPECT_EQ(Column(folder + L"Favicons", "SELECT page_url FROM icon_mapping"),
                  std::vector<std::string>{"https://docs.example/manual"});
        EXPECT_EQ(Count(folder + L"Top Sites", "top_sites"), "0");
        EXPECT_EQ(Count(folder + L"Shortcuts", "omni_box_shortcuts"), "0");
        EXPECT_EQ(Count(folder + L"Network Action Predictor", "network_action_predictor"), "0");
        EXPECT_EQ(Count(folder + L"Network\\Cookies", "cookies"), "0");
        EXPECT_FALSE(FileExists(folder + L"Visited Links"));
        for (const wchar_t* store : {L"History", L"Favicons", L"Top Sites", L"Shortcuts", L"Network Action Predictor"}) {
            EXPECT_EQ(DatabaseIntegrity(folder + store), "ok") << ToUtf8(store);
            EXPECT_EQ(Bytes(folder + store).find("bank.example"), std::string::npos) << ToUtf8(store);
        }
    }
    // Everything else is as it was, and the lock made for the clean has gone.
    const std::vector<std::wstring> cleaned = {L"History", L"Favicons", L"Top Sites", L"Shortcuts", L"DIPS",
                                               L"Network Action Predictor", L"Network\\Cookies", L"Visited Links"};
    for (const auto& [path, bytes] : before) {
        const bool isCleaned = std::any_of(cleaned.begin(), cleaned.end(), [&](const std::wstring& name) {
            return path.size() > name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0;
        });
        if (isCleaned) continue;
        EXPECT_TRUE(after.count(path) && after.at(path) == bytes) << ToUtf8(path) << " changed";
    }
    EXPECT_FALSE(FileExists(temp.Path() + L"lockfile"));
}

TEST(BrowserActions, FirefoxPassesOverTheRunningProfileAndCleansTheOther) {
    TTempFolder temp(L"ffrun");
    std::vector<TFirefoxProfile> profiles;
    for (const wchar_t* name : {L"running", L"closed"}) {
        TFirefoxProfile profile{temp.Path() + L"Roaming\\" + name + L"\\", temp.Path() + L"Local\\" + name + L"\\"};
        CreateDirectoryTree(profile.Folder);
        MakeFirefoxPlaces(profile.Folder + L"places.sqlite");
        MakeFirefoxFavicons(profile.Folder + L"favicons.sqlite");
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
    EXPECT_EQ(Count(profiles[1].Folder + L"favicons.sqlite", "moz_pages_w_icons"), "1");
    EXPECT_FALSE(FileExists(profiles[1].Folder + L"parent.lock")) << "a lock made for the clean goes after it";
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
        EXPECT_EQ(dynamic_cast<TBrowserActionItem&>(*chromeHistory).Failures(),
                  TBrowserFailures{chrome + L": 浏览器正在运行 (lockfile 被占用)，已跳过"});
        EXPECT_EQ(dynamic_cast<TBrowserActionItem&>(*firefoxHistory).Failures().size(), 1u);
        EXPECT_EQ(Count(chrome + L"Default\\History", "visits"), "5");
        EXPECT_EQ(Count(firefox + L"Profiles\\t.default\\places.sqlite", "moz_historyvisits"), "6");
    }
    chromeCookies->GetSecondInfoLine(line);
    EXPECT_EQ(line, L"以保持登录到经常访问的站点。");
    chromeHistory->Perform();
    firefoxHistory->Perform();
    EXPECT_TRUE(dynamic_cast<TBrowserActionItem&>(*chromeHistory).Failures().empty());
    EXPECT_TRUE(dynamic_cast<TBrowserActionItem&>(*firefoxHistory).Failures().empty());
    EXPECT_EQ(Count(chrome + L"Default\\History", "visits"), "0");
    EXPECT_EQ(Count(firefox + L"Profiles\\t.default\\places.sqlite", "moz_historyvisits"), "0");
}

// --- Sessions ---

bool IsChromiumSession(const std::wstring& path) {
    for (const wchar_t* part : {L"\\Sessions\\Session_", L"\\Sessions\\Tabs_"})
        if (path.find(part) != std::wstring::npos) return true;
    for (const wchar_t* name : {L"\\Current Session", L"\\Last Session", L"\\Current Tabs", L"\\Last Tabs"}) {
        const std::wstring ending = name;
        if (path.size() > ending.size() && path.compare(path.size() - ending.size(), ending.size(), ending) == 0)
            return true;
    }
    return false;
}

TEST(BrowserActions, ChromiumSessionsGoWithTheSessionActionOnlyAndNothingElseDoes) {
    TTempFolder temp(L"crsess");
    MakeChromiumUserData(temp);
    for (const wchar_t* profile : {L"Default\\", L"Profile 1\\"})
        for (const wchar_t* name : {L"Sessions\\Session_13345678901234567", L"Sessions\\Tabs_13345678901234567",
                                    L"Current Session", L"Last Session", L"Current Tabs", L"Last Tabs"})
            WriteText(temp.Path() + profile + name, "tabs https://news.example/today");
    WriteText(temp.Path() + L"Default\\Sessions\\Notes", "not a session file");
    const auto before = Snapshot(temp.Path());
    TBrowserFailures failures;
    ASSERT_TRUE(CleanChromiumUserData(temp.Path(), TBrowserPart::History, &failures));
    EXPECT_TRUE(failures.empty()) << ToUtf8(failures.empty() ? L"" : failures[0]);
    const auto afterHistory = Snapshot(temp.Path());
    int sessions = 0;
    for (const auto& [path, bytes] : before)
        if (IsChromiumSession(path)) {
            ++sessions;
            EXPECT_TRUE(afterHistory.count(path) && afterHistory.at(path) == bytes) << ToUtf8(path) << " changed";
        }
    EXPECT_EQ(sessions, 14);  // six in each profile and the Session_1 laid with each

    ASSERT_TRUE(CleanChromiumUserData(temp.Path(), TBrowserPart::Sessions, &failures));
    EXPECT_TRUE(failures.empty());
    const auto afterSessions = Snapshot(temp.Path());
    for (const auto& [path, bytes] : afterHistory) {
        if (IsChromiumSession(path))
            EXPECT_EQ(afterSessions.count(path), 0u) << ToUtf8(path);
        else
            EXPECT_TRUE(afterSessions.count(path) && afterSessions.at(path) == bytes) << ToUtf8(path) << " changed";
    }
    EXPECT_TRUE(FolderExists(temp.Path() + L"Default\\Sessions"));
    EXPECT_FALSE(FileExists(temp.Path() + L"lockfile"));

    // A running browser keeps them, and the pass says so.
    WriteText(temp.Path() + L"Default\\Current Session", "tabs");
    const THandle running = HoldLock(temp.Path() + L"lockfile");
    ASSERT_TRUE(running);
    EXPECT_FALSE(CleanChromiumUserData(temp.Path(), TBrowserPart::Sessions, &failures));
    EXPECT_TRUE(FileExists(temp.Path() + L"Default\\Current Session"));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind(WithTrailingBackslash(temp.Path()) + L": ", 0), 0u) << ToUtf8(failures[0]);
}

TEST(BrowserActions, FirefoxSessionsGoOnlyFromTheProfileNotInUse) {
    TTempFolder temp(L"ffsess");
    std::vector<TFirefoxProfile> profiles;
    for (const wchar_t* name : {L"running", L"closed"}) {
        TFirefoxProfile profile{temp.Path() + name + L"\\", temp.Path() + name + L"\\"};
        WriteText(profile.Folder + L"prefs.js", "user_pref(\"browser.startup.page\", 3);");
        WriteText(profile.Folder + L"sessionstore.jsonlz4", "mozLz40 session");
        WriteText(profile.Folder + L"sessionstore-backups\\recovery.jsonlz4", "mozLz40 recovery");
        WriteText(profile.Folder + L"sessionstore-backups\\previous.jsonlz4", "mozLz40 previous");
        MakeFirefoxPlaces(profile.Folder + L"places.sqlite");
        profiles.push_back(profile);
    }
    const auto before = Snapshot(temp.Path());
    EXPECT_EQ(CleanFirefoxProfiles({profiles[1]}, TBrowserPart::History), 0);
    for (const wchar_t* name : {L"sessionstore.jsonlz4", L"sessionstore-backups\\recovery.jsonlz4"})
        EXPECT_EQ(Bytes(profiles[1].Folder + name), before.at(profiles[1].Folder + name)) << "history keeps sessions";

    const THandle running = HoldLock(profiles[0].Folder + L"parent.lock");
    ASSERT_TRUE(running);
    TBrowserFailures failures;
    EXPECT_EQ(CleanFirefoxProfiles(profiles, TBrowserPart::Sessions, &failures), 1);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind(profiles[0].Folder + L": ", 0), 0u) << ToUtf8(failures[0]);
    EXPECT_FALSE(FileExists(profiles[1].Folder + L"sessionstore.jsonlz4"));
    EXPECT_FALSE(FileExists(profiles[1].Folder + L"sessionstore-backups\\recovery.jsonlz4"));
    EXPECT_FALSE(FileExists(profiles[1].Folder + L"sessionstore-backups\\previous.jsonlz4"));
    EXPECT_TRUE(FolderExists(profiles[1].Folder + L"sessionstore-backups"));
    EXPECT_EQ(Bytes(profiles[1].Folder + L"prefs.js"), before.at(profiles[1].Folder + L"prefs.js"));
    EXPECT_EQ(Snapshot(profiles[0].Folder).size(), Snapshot(temp.Path() + L"running\\").size());
    for (const wchar_t* name : {L"sessionstore.jsonlz4", L"sessionstore-backups\\previous.jsonlz4"})
        EXPECT_TRUE(FileExists(profiles[0].Folder + name));
}

// --- DIPS ---

// The bounce-tracking store as Chromium lays it: nullable times from its
// second version on, NOT NULL (0 for never) in the first.
void MakeDips(const std::wstring& file, bool firstVersion) {
    const std::string type = firstVersion ? "INTEGER NOT NULL" : "INTEGER DEFAULT NULL";
    const std::string never = firstVersion ? "0" : "NULL";
    std::string columns;
    for (const char* column : {"first_site_storage_time", "last_site_storage_time", "first_user_interaction_time",
                               "last_user_interaction_time", "first_stateful_bounce_time", "last_stateful_bounce_time",
                               "first_bounce_time", "last_bounce_time"})
        columns += std::string(", ") + column + " " + type;
    if (!firstVersion) columns += ", first_web_authn_assertion_time " + type + ", last_web_authn_assertion_time " + type;
    const std::string authn = firstVersion ? "" : ", " + never + ", " + never;
    const std::string authnSet = firstVersion ? "" : ", 90, 91";
    Exec(file, "CREATE TABLE bounces(site TEXT PRIMARY KEY NOT NULL" + columns + ");"
               "CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
               "INSERT INTO meta VALUES('version','" + std::string(firstVersion ? "1" : "4") + "');"
               "INSERT INTO bounces VALUES('stored.example', 10, 20, 30, 40, " + never + ", " + never + ", " + never +
               ", " + never + authn + ");"
               "INSERT INTO bounces VALUES('visited.example', " + never + ", " + never + ", 50, 60, " + never + ", " +
               never + ", " + never + ", " + never + authnSet + ");"
               "INSERT INTO bounces VALUES('bouncer.example', " + never + ", " + never + ", " + never + ", " + never +
               ", 70, 80, 70, 80" + authn + ");");
}

TEST(BrowserDatabases, DipsLosesItsInteractionTimesAndSitesLeftWithoutAnyTime) {
    for (const bool firstVersion : {false, true}) {
        TTempFolder temp(firstVersion ? L"dips1" : L"dips4");
        const std::wstring dips = temp.Path() + L"DIPS";
        MakeDips(dips, firstVersion);
        ASSERT_TRUE(ClearChromiumDipsInteractions(dips));
        const std::string never = firstVersion ? "0" : "NULL";
        EXPECT_EQ(Column(dips, "SELECT site || ' ' || ifnull(first_site_storage_time, 'NULL') || ' ' || "
                               "ifnull(first_user_interaction_time, 'NULL') || ' ' || "
                               "ifnull(last_user_interaction_time, 'NULL') || ' ' || "
                               "ifnull(last_bounce_time, 'NULL') FROM bounces ORDER BY site"),
                  (std::vector<std::string>{"bouncer.example " + never + " " + never + " " + never + " 80",
                                            "stored.example 10 " + never + " " + never + " " + never}))
            << "first version: " << firstVersion;
        EXPECT_EQ(Count(dips, "meta"), "1");
        EXPECT_EQ(DatabaseIntegrity(dips), "ok");
    }
}

// --- Databases that cannot be cleaned say why ---

TEST(BrowserDatabases, EachFileThatCannotBeCleanedIsAFailureWithItsReasonAMissingOneIsNot) {
    TTempFolder temp(L"why");
    const auto why = [](const TDatabaseResult& result) {
        EXPECT_TRUE(result.Failed());
        return ToUtf8(result.Why);
    };
    const TDatabaseResult missing = ClearCookieDatabase(temp.Path() + L"Cookies", "cookies");
    EXPECT_EQ(missing.State, TDatabaseState::Absent);
    EXPECT_FALSE(FileExists(temp.Path() + L"Cookies"));

    WriteText(temp.Path() + L"text", std::string(4096, 'x'));
    EXPECT_EQ(why(ClearCookieDatabase(temp.Path() + L"text", "cookies")), "不是 SQLite 数据库");
    MakeCookies(temp.Path() + L"foreign", "cookies");
    EXPECT_EQ(why(ClearChromiumHistoryDatabase(temp.Path() + L"foreign")), "缺少表 \"urls\"");
    EXPECT_EQ(why(ClearCookieDatabase(temp.Path() + L"foreign", "moz_cookies")), "缺少表 \"moz_cookies\"");
    CreateDirectoryTree(temp.Path() + L"folder");
    EXPECT_EQ(why(ClearCookieDatabase(temp.Path() + L"folder", "cookies")), "是文件夹，不是数据库");

    // Cut short: the schema still reads, the rows do not.
    const std::wstring truncated = temp.Path() + L"truncated";
    MakeChromiumHistory(truncated);
    Exec(truncated, "CREATE TABLE filler(x); INSERT INTO filler SELECT randomblob(900) FROM "
                    "(WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40) SELECT i FROM n);"
                    "INSERT INTO visits(url, visit_time) SELECT 1, i FROM "
                    "(WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) SELECT i FROM n);");
    std::string bytes = Bytes(truncated);
    bytes.resize(bytes.size() / 2);
    std::ofstream(truncated.c_str(), std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_FALSE(why(ClearChromiumHistoryDatabase(truncated)).empty());
    EXPECT_EQ(Bytes(truncated), bytes);

    const std::wstring busy = temp.Path() + L"busy";
    MakeCookies(busy, "cookies");
    sqlite3* other = nullptr;
    sqlite3_open_v2(ToUtf8(busy).c_str(), &other, SQLITE_OPEN_READWRITE, nullptr);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(why(ClearCookieDatabase(busy, "cookies")), "正被其他程序使用");
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // The profile's clean names each file it left, once.
    const std::wstring profile = temp.Path() + L"Default\\";
    WriteText(profile + L"History", "not a database");
    CreateDirectoryTree(profile + L"Network");
    MakeCookies(profile + L"Network\\Cookies", "moz_cookies");
    TBrowserFailures failures;
    CleanChromiumProfile(profile, TBrowserPart::History, &failures);
    CleanChromiumProfile(profile, TBrowserPart::Cookies, &failures);
    EXPECT_EQ(failures, (TBrowserFailures{profile + L"History: 不是 SQLite 数据库",
                                          profile + L"Network\\Cookies: 缺少表 \"cookies\""}));
}

// --- The file's own code never runs ---

struct TRestoreStatementLimit {
    explicit TRestoreStatementLimit(DWORD milliseconds) { SetDatabaseStatementLimitForTesting(milliseconds); }
    ~TRestoreStatementLimit() { SetDatabaseStatementLimitForTesting(0); }
};

TEST(BrowserDatabases, TriggersInTheFileNeverRunNotEvenEndlessOnes) {
    TTempFolder temp(L"triggers");
    const std::wstring history = temp.Path() + L"History";
    MakeChromiumHistory(history);
    // Were the triggers to run, the endless one would meet the statement limit
    // and the test would fail instead of hanging.
    const TRestoreStatementLimit limit(5000);
    Exec(history,
         "INSERT INTO downloads VALUES (2, 'C:\\Users\\Person\\Downloads\\report.pdf');"
         "CREATE VIEW endless AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT max(i) FROM n;"
         "CREATE TRIGGER forever AFTER DELETE ON visits BEGIN SELECT * FROM endless; END;"
         "CREATE TRIGGER takes_downloads AFTER DELETE ON visits BEGIN DELETE FROM downloads; END;"
         "CREATE TRIGGER takes_all_urls AFTER DELETE ON urls BEGIN DELETE FROM urls; END;");
    const ULONGLONG start = ::GetTickCount64();
    const TDatabaseResult result = ClearChromiumHistoryDatabase(history, {"https://docs.example/manual"});
    EXPECT_TRUE(result) << ToUtf8(result.Why);
    EXPECT_LT(::GetTickCount64() - start, 4000u);
    EXPECT_EQ(Count(history, "visits"), "0");
    EXPECT_EQ(Count(history, "downloads"), "2");
    EXPECT_EQ(Column(history, "SELECT url FROM urls"), std::vector<std::string>{"https://docs.example/manual"});
    EXPECT_EQ(Count(history, "sqlite_master WHERE type = 'trigger'"), "3") << "the file's schema stays as it is";
}

TEST(BrowserDatabases, AStatementPastTheLimitIsInterruptedAndTheCleanRolledBack) {
    TTempFolder temp(L"limit");
    const std::wstring history = temp.Path() + L"History";
    MakeChromiumHistory(history);
    // Rows deleted one by one (emptying a whole table is one step SQLite never interrupts).
    Exec(history, "INSERT INTO urls(url, last_visit_time) SELECT 'https://vt-visit-' || i || '.example/', i FROM "
                  "(WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000) SELECT i FROM n);");
    const std::string before = Count(history, "urls");
    const TRestoreStatementLimit limit(1);
    const TDatabaseResult result = ClearChromiumHistoryDatabase(history);
    EXPECT_TRUE(result.Failed());
    EXPECT_NE(result.Why.find(L"已中止并撤销"), std::wstring::npos) << ToUtf8(result.Why);
    EXPECT_EQ(Count(history, "urls"), before);
    EXPECT_EQ(Count(history, "visits"), "5");
    EXPECT_FALSE(FileExists(history + L"-journal"));
    EXPECT_EQ(DatabaseIntegrity(history), "ok");
}

// --- profiles.ini ---

TEST(BrowserProfiles, AProfilesIniOverOneMegabyteIsIgnoredAndSaysSo) {
    TTempFolder temp(L"bigini");
    WriteText(temp.Path() + L"Profiles\\a\\prefs.js", "");
    const std::string section = "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/a\r\n";
    WriteText(temp.Path() + L"profiles.ini", section);
    EXPECT_FALSE(FirefoxProfilesIniTooLarge(temp.Path()));
    EXPECT_EQ(FirefoxProfiles(temp.Path(), L"").size(), 1u);
    WriteText(temp.Path() + L"profiles.ini", section + std::string((1 << 20) + 1, ';'));
    EXPECT_TRUE(FirefoxProfilesIniTooLarge(temp.Path()));
    EXPECT_TRUE(FirefoxProfiles(temp.Path(), L"").empty());
}

TEST(BrowserProfiles, AFolderLiesInsideItsRootOnlyAfterTheDotsAreResolved) {
    EXPECT_TRUE(PathLiesInside(L"C:\\Users\\P\\Firefox\\Profiles\\a", L"C:\\Users\\P\\Firefox\\"));
    EXPECT_TRUE(PathLiesInside(L"C:\\Users\\P\\Firefox\\x\\..\\Profiles", L"C:\\Users\\P\\firefox"));
    EXPECT_FALSE(PathLiesInside(L"C:\\Users\\P\\Firefox\\..\\..\\..\\..\\Documents\\victim", L"C:\\Users\\P\\Firefox\\"));
    EXPECT_FALSE(PathLiesInside(L"C:\\Users\\P\\Firefox2\\a", L"C:\\Users\\P\\Firefox\\"));
    EXPECT_FALSE(PathLiesInside(L"D:\\Firefox\\a", L"C:\\Users\\P\\Firefox\\"));
}

TEST(BrowserActionRows, SessionRowsSayTheTabsGoAndHistoryRowsSayWhereTheSessionsGo) {
    std::wstring name, progress, first, second;
    BrowserActionTexts({L"Google Chrome", L"Google Chrome"}, TBrowserPart::Sessions, name, progress, first, second);
    EXPECT_EQ(name, L"清除 Google Chrome 会话");
    EXPECT_EQ(progress, L"正在清除 Google Chrome 会话...");
    EXPECT_EQ(first, L"此操作将清除 Google Chrome 会话");
    EXPECT_EQ(second, L"上次会话的标签页将无法恢复。");
    BrowserActionTexts({L"Mozilla Firefox 57+", L"Mozilla Firefox"}, TBrowserPart::History, name, progress, first,
                       second);
    EXPECT_EQ(name, L"清除 Mozilla Firefox 57+ 历史记录");
    EXPECT_EQ(second, L"书签、密码和会话将保留，会话由下一项清除。");
}

}  // namespace
