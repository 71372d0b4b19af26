// Clearing rows from the browsers' SQLite databases (history and cookies) with
// SQLite itself. Each routine opens an existing database read-write (never
// creates one), works in one exclusive transaction and commits only when every
// statement that matters succeeded; otherwise the database is left as it was.
// Deleted rows are overwritten (secure_delete), so they cannot be read back
// from free pages, and a database in WAL mode is checkpointed afterwards, so
// its -wal no longer holds the old pages either. The callers open a database
// only while they hold its browser's lock.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Chromium "History": every visit and what hangs on visits (search terms,
// segments, visit sources, annotations, clusters, visited links) where those
// tables exist, and every URL row but those of KeptUrls (the bookmarked pages,
// which Chromium keeps with their visit and typed counts reset). Downloads
// stay. True when committed.
bool ClearChromiumHistoryDatabase(const std::wstring& DatabaseFile, const std::vector<std::string>& KeptUrls = {});

// Chromium "Favicons": the icon mappings of every page but KeptUrls, then the
// icons and bitmaps no mapping uses. True when committed.
bool ClearChromiumFaviconDatabase(const std::wstring& DatabaseFile, const std::vector<std::string>& KeptUrls);

// Every row of every table of a database that holds nothing but history
// (Chromium "Top Sites", "Shortcuts", "Network Action Predictor"), except the
// schema's own bookkeeping ("meta", "resource_prefetch_predictor_metadata").
// MainTable must exist, so a foreign database is left alone. True when committed.
bool ClearHistoryOnlyDatabase(const std::wstring& DatabaseFile, const char* MainTable);

// Every row of the cookie table: "cookies" (Chromium "Cookies") or "moz_cookies"
// (Firefox "cookies.sqlite"). True when committed.
bool ClearCookieDatabase(const std::wstring& DatabaseFile, const char* Table);

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
bool ClearFirefoxPlacesHistory(const std::wstring& DatabaseFile, TFirefoxKeptPlaces* Kept = nullptr);

// Firefox "favicons.sqlite": the pages no kept place has, then the icons no
// page uses; the site icon ("/favicon.ico" of an origin) of a kept origin
// stays. True when committed.
bool ClearFirefoxFavicons(const std::wstring& DatabaseFile, const TFirefoxKeptPlaces& Kept);

// "ok" from PRAGMA integrity_check, or SQLite's complaint; for tests and the log.
std::string DatabaseIntegrity(const std::wstring& DatabaseFile);

// The attributes a database and its companions are judged by. Windows shows a
// file symbolic link as a reparse point, Wine shows it as the file it names, so
// tests answer for Windows here. Null restores GetFileAttributesW.
using TFileAttributesFunction = DWORD (*)(const std::wstring& Path);
void SetDatabaseAttributesForTesting(TFileAttributesFunction Attributes);
