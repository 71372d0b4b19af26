// Clearing rows from the browsers' SQLite databases (history and cookies) with
// SQLite itself. Each routine opens an existing database read-write (never
// creates one), works in one exclusive transaction and commits only when every
// statement that matters succeeded; otherwise the database is left as it was.
// Deleted rows are overwritten (secure_delete), so they cannot be read back
// from free pages, and a database in WAL mode is checkpointed afterwards, so
// its -wal no longer holds the old pages either. The callers open a database
// only while they hold its browser's lock.
//
// Every database is another program's file and is read as hostile: it is
// opened defensive (SQLITE_DBCONFIG_DEFENSIVE, so no statement can write the
// schema or the file's pages behind SQLite's back) with triggers off, since the
// browsers' stored schemas hold none (Firefox creates its places triggers as
// temporary ones each time it starts) and a trigger found in the file could
// only do what the file's author wanted. A statement still running after the
// statement limit (30 s) is interrupted and the whole clean rolled back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What a routine did with its database. Absent: there was no such file,
// nothing to do. Failed: the file is there and was left as it was, for the
// reason Why ("不是 SQLite 数据库", "缺少表 \"urls\"", ...). A result converts
// to true only when Cleared.
enum class TDatabaseState { Cleared, Absent, Failed };
struct TDatabaseResult {
    TDatabaseState State = TDatabaseState::Absent;
    std::wstring Why;
    explicit operator bool() const { return State == TDatabaseState::Cleared; }
    bool Failed() const { return State == TDatabaseState::Failed; }
};

// Chromium "History": every visit and what hangs on visits (search terms,
// segments, visit sources, annotations, clusters, visited links) where those
// tables exist, and every URL row but those of KeptUrls (the bookmarked pages,
// which Chromium keeps with their visit and typed counts reset). Downloads
// stay. True when committed.
TDatabaseResult ClearChromiumHistoryDatabase(const std::wstring& DatabaseFile, const std::vector<std::string>& KeptUrls = {});

// Chromium "Favicons": the icon mappings of every page but KeptUrls, then the
// icons and bitmaps no mapping uses. True when committed.
TDatabaseResult ClearChromiumFaviconDatabase(const std::wstring& DatabaseFile, const std::vector<std::string>& KeptUrls);

// Every row of every table of a database that holds nothing but history
// (Chromium "Top Sites", "Shortcuts", "Network Action Predictor"), except the
// schema's own bookkeeping ("meta", "resource_prefetch_predictor_metadata").
// MainTable must exist, so a foreign database is left alone. True when committed.
TDatabaseResult ClearHistoryOnlyDatabase(const std::wstring& DatabaseFile, const char* MainTable);

// Chromium "DIPS" (bounce tracking mitigations): the user-interaction times
// of every site go with the history, as Chromium's own history clear takes
// them; a site row left with no time at all goes. Storage and bounce times stay
// (they go with cookies and site data). True when committed.
TDatabaseResult ClearChromiumDipsInteractions(const std::wstring& DatabaseFile);

// Every row of the cookie table: "cookies" (Chromium "Cookies") or "moz_cookies"
// (Firefox "cookies.sqlite"). True when committed.
TDatabaseResult ClearCookieDatabase(const std::wstring& DatabaseFile, const char* Table);

// What stays of a Firefox profile's history: the URLs of the places that remain
// and their origins ("https://" + host), which its favicons are kept for.
struct TFirefoxKeptPlaces {
    std::vector<std::string> Urls;
    std::vector<std::string> Origins;
};

// Firefox "places.sqlite": every visit (moz_historyvisits), typed input, page
// metadata, and every place that only history refers to: a place stays when
// something else counts it (foreign_count > 0: bookmarks, keywords) or a
// bookmark or keyword names it. Annotations (downloads among them) do not keep
// a place, and those of removed places go. The kept places' visit count, typed
// mark and last visit are reset; origins left without places go. Bookmarks and
// keywords stay as they are. Kept, when given, receives what remains. True
// when committed.
TDatabaseResult ClearFirefoxPlacesHistory(const std::wstring& DatabaseFile, TFirefoxKeptPlaces* Kept = nullptr);

// Firefox "favicons.sqlite": the pages no kept place has, then the icons no
// page uses; the site icon ("/favicon.ico" of an origin) of a kept origin
// stays. True when committed.
TDatabaseResult ClearFirefoxFavicons(const std::wstring& DatabaseFile, const TFirefoxKeptPlaces& Kept);

// "ok" from PRAGMA integrity_check, or SQLite's complaint; for tests and the log.
std::string DatabaseIntegrity(const std::wstring& DatabaseFile);

// The attributes a database and its companions are judged by. Windows shows a
// file symbolic link as a reparse point, Wine shows it as the file it names, so
// tests answer for Windows here. Null restores GetFileAttributesW.
using TFileAttributesFunction = DWORD (*)(const std::wstring& Path);
void SetDatabaseAttributesForTesting(TFileAttributesFunction Attributes);

// How long one statement may run before it is interrupted and the clean rolled
// back: 30 s; tests make it short. Zero restores 30 s.
void SetDatabaseStatementLimitForTesting(DWORD Milliseconds);
