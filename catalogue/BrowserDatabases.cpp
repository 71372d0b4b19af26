#include "catalogue/BrowserDatabases.h"

#include "engine/SystemRoutines.h"
#include "platform/Utf8.h"

#include <sqlite3.h>

#include <windows.h>

#include <initializer_list>
#include <memory>

namespace {

struct TCloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TDatabase = std::unique_ptr<sqlite3, TCloseDatabase>;

bool IsPlainFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The database, opened read-write; null when it is not there, is not the file
// itself (a link would lead the writes elsewhere) or does not open.
TDatabase OpenExisting(const std::wstring& file) {
    if (!IsPlainFile(file) || !EntryIsItself(file)) return nullptr;
    // SQLite writes its journal or WAL beside the database; one that is a link
    // would have it write over the link's target.
    for (const wchar_t* companion : {L"-journal", L"-wal", L"-shm"}) {
        const std::wstring path = file + companion;
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !EntryIsItself(path)) return nullptr;
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(ToUtf8(file).c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    TDatabase db(raw);
    if (rc != SQLITE_OK) return nullptr;
    // A browser that starts meanwhile finds the database busy; nobody waits.
    sqlite3_busy_timeout(db.get(), 0);
    return db;
}

bool Run(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// True when Sql (one parameter per argument) yields a row.
bool HasRow(sqlite3* db, const char* sql, const char* first, const char* second = nullptr) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) return false;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    sqlite3_bind_text(raw, 1, first, -1, SQLITE_STATIC);
    if (second) sqlite3_bind_text(raw, 2, second, -1, SQLITE_STATIC);
    return sqlite3_step(raw) == SQLITE_ROW;
}

bool TableExists(sqlite3* db, const char* table) {
    return HasRow(db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1", table);
}

bool ColumnExists(sqlite3* db, const char* table, const char* column) {
    return HasRow(db, "SELECT 1 FROM pragma_table_info(?1) WHERE name=?2", table, column);
}

// Empties the tables that exist; false when one of them cannot be emptied.
bool DeleteAllRows(sqlite3* db, std::initializer_list<const char*> tables) {
    for (const char* table : tables) {
        if (!TableExists(db, table)) continue;
        const std::string sql = std::string("DELETE FROM \"") + table + "\"";
        if (!Run(db, sql.c_str())) return false;
    }
    return true;
}

// Runs Work inside one transaction: committed when it answers true, rolled back otherwise.
template <class TWork>
bool InTransaction(const std::wstring& file, TWork work) {
    TDatabase db = OpenExisting(file);
    if (!db) return false;
    Run(db.get(), "PRAGMA secure_delete=ON");
    // An exclusive transaction takes the write lock at once: a browser holding
    // the database makes it fail here, before anything is read.
    if (!Run(db.get(), "BEGIN EXCLUSIVE")) return false;
    if (work(db.get()) && Run(db.get(), "COMMIT")) return true;
    Run(db.get(), "ROLLBACK");
    return false;
}

}  // namespace

bool ClearChromiumHistoryDatabase(const std::wstring& DatabaseFile) {
    return InTransaction(DatabaseFile, [](sqlite3* db) {
        if (!TableExists(db, "urls") || !TableExists(db, "visits")) return false;
        return DeleteAllRows(db, {"visit_source", "visits", "keyword_search_terms", "segment_usage", "segments",
                                  "context_annotations", "content_annotations", "clusters_and_visits", "clusters",
                                  "cluster_keywords", "cluster_visit_duplicates", "visited_links", "urls"});
    });
}

bool ClearCookieDatabase(const std::wstring& DatabaseFile, const char* Table) {
    return InTransaction(DatabaseFile, [Table](sqlite3* db) {
        if (!TableExists(db, Table)) return false;
        return DeleteAllRows(db, {Table});
    });
}

bool ClearFirefoxPlacesHistory(const std::wstring& DatabaseFile) {
    return InTransaction(DatabaseFile, [](sqlite3* db) {
        if (!TableExists(db, "moz_places") || !TableExists(db, "moz_historyvisits")) return false;
        if (!DeleteAllRows(db, {"moz_historyvisits", "moz_inputhistory", "moz_places_metadata",
                                "moz_places_metadata_search_queries"}))
            return false;
        // The places something still refers to.
        std::string keep = "SELECT 0";  // no place has id 0; a NULL here would keep every place
        if (TableExists(db, "moz_bookmarks")) keep += " UNION SELECT fk FROM moz_bookmarks WHERE fk IS NOT NULL";
        if (TableExists(db, "moz_keywords")) keep += " UNION SELECT place_id FROM moz_keywords WHERE place_id IS NOT NULL";
        if (TableExists(db, "moz_annos")) keep += " UNION SELECT place_id FROM moz_annos WHERE place_id IS NOT NULL";
        if (!Run(db, ("DELETE FROM moz_places WHERE id NOT IN (" + keep + ")").c_str())) return false;
        if (ColumnExists(db, "moz_places", "visit_count") && ColumnExists(db, "moz_places", "last_visit_date") &&
            !Run(db, "UPDATE moz_places SET visit_count=0, last_visit_date=NULL "
                     "WHERE visit_count<>0 OR last_visit_date IS NOT NULL"))
            return false;
        if (TableExists(db, "moz_origins") && ColumnExists(db, "moz_places", "origin_id") &&
            !Run(db, "DELETE FROM moz_origins WHERE id NOT IN "
                     "(SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL)"))
            return false;
        return true;
    });
}

std::string DatabaseIntegrity(const std::wstring& DatabaseFile) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(ToUtf8(DatabaseFile).c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    TDatabase db(raw);
    if (rc != SQLITE_OK) return "cannot open";
    std::string answer;
    sqlite3_exec(
        db.get(), "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
            auto* text = static_cast<std::string*>(out);
            if (!text->empty()) *text += "; ";
            *text += values[0] ? values[0] : "";
            return 0;
        },
        &answer, nullptr);
    return answer;
}
