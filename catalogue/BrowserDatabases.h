// Clearing rows from the browsers' SQLite databases (history and cookies) with
// SQLite itself. Each routine opens an existing database read-write (never
// creates one), works in one transaction and commits only when every statement
// that matters succeeded; otherwise the database is left as it was. Deleted
// rows are overwritten (secure_delete), so they cannot be read back from free
// pages. The callers open a database only when its browser's lock shows it
// closed.
#pragma once

#include <string>

// Chromium "History": every visit and every URL, with the rows that hang on
// them (search terms, segments, visit sources, annotations, clusters) where
// those tables exist. Downloads stay. True when committed.
bool ClearChromiumHistoryDatabase(const std::wstring& DatabaseFile);

// Every row of the cookie table: "cookies" (Chromium "Cookies") or "moz_cookies"
// (Firefox "cookies.sqlite"). True when committed.
bool ClearCookieDatabase(const std::wstring& DatabaseFile, const char* Table);

// Firefox "places.sqlite": every visit (moz_historyvisits) and every place that
// nothing else needs: a place stays when a bookmark (moz_bookmarks.fk), a
// keyword (moz_keywords) or an annotation (moz_annos) refers to it; its visit
// count and last visit are reset. Typed input and page metadata (history too)
// go; origins left without places go. Bookmarks, keywords and annotations stay
// as they are. True when committed.
bool ClearFirefoxPlacesHistory(const std::wstring& DatabaseFile);

// "ok" from PRAGMA integrity_check, or SQLite's complaint; for tests and the log.
std::string DatabaseIntegrity(const std::wstring& DatabaseFile);
