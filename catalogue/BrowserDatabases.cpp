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
using TStatement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

DWORD SystemAttributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }
TFileAttributesFunction AttributesOf = SystemAttributes;

// A file that is itself: no folder, no link of any kind. Windows shows a file
// symbolic link as a reparse point, and SQLite would open, write and delete
// through it (into any file the link names, when elevated); Wine shows such a
// link as a plain file, which EntryIsItself sees through.
bool IsFileItself(const std::wstring& path, DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 && EntryIsItself(path);
}

// The database, opened read-write; null when it is not there, is not the file
// itself or does not open.
TDatabase OpenExisting(const std::wstring& file) {
    if (!IsFileItself(file, AttributesOf(file))) return nullptr;
    // SQLite writes its journal or WAL beside the database and deletes it after;
    // one that is a link would have it write over, or delete, the link's target.
    for (const wchar_t* companion : {L"-journal", L"-wal", L"-shm"}) {
        const std::wstring path = file + companion;
        const DWORD attributes = AttributesOf(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && !IsFileItself(path, attributes)) return nullptr;
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
bool Run(sqlite3* db, const std::string& sql) { return Run(db, sql.c_str()); }

TStatement Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) raw = nullptr;
    return TStatement(raw, sqlite3_finalize);
}

// True when Sql (one parameter per argument) yields a row.
bool HasRow(sqlite3* db, const char* sql, const char* first, const char* second = nullptr) {
    TStatement statement = Prepare(db, sql);
    if (!statement) return false;
    sqlite3_bind_text(statement.get(), 1, first, -1, SQLITE_STATIC);
    if (second) sqlite3_bind_text(statement.get(), 2, second, -1, SQLITE_STATIC);
    return sqlite3_step(statement.get()) == SQLITE_ROW;
}

// The first column of every row Sql yields, as text; false when it fails.
bool Texts(sqlite3* db, const char* sql, std::vector<std::string>& values) {
    TStatement statement = Prepare(db, sql);
    if (!statement) return false;
    int rc;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
        if (text) values.emplace_back(text, static_cast<size_t>(sqlite3_column_bytes(statement.get(), 0)));
    }
    return rc == SQLITE_DONE;
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
        if (!Run(db, std::string("DELETE FROM \"") + table + "\"")) return false;
    }
    return true;
}

// Removes the rows of Table whose Column names no row of Parent any more.
bool DeleteOrphans(sqlite3* db, const char* table, const char* column, const char* parent) {
    if (!TableExists(db, table) || !ColumnExists(db, table, column)) return true;
    return Run(db, std::string("DELETE FROM \"") + table + "\" WHERE \"" + column + "\" NOT IN (SELECT id FROM \"" +
                       parent + "\")");
}

// A temporary table (in memory, never in a file) holding Values, for the
// statements that keep what it names.
bool FillTemporaryTable(sqlite3* db, const char* name, const std::vector<std::string>& values) {
    if (!Run(db, std::string("CREATE TEMP TABLE \"") + name + "\"(value TEXT PRIMARY KEY)")) return false;
    TStatement insert = Prepare(db, (std::string("INSERT OR IGNORE INTO temp.\"") + name + "\" VALUES (?1)").c_str());
    if (!insert) return false;
    for (const auto& value : values) {
        sqlite3_bind_text(insert.get(), 1, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) return false;
        sqlite3_reset(insert.get());
    }
    return true;
}

// A database in WAL mode keeps the pages it had before the transaction in its
// -wal until a checkpoint writes the new ones back: only then are the deleted
// rows gone from every file. True when nothing is left in the -wal.
bool CheckpointWal(sqlite3* db) {
    std::vector<std::string> mode;
    if (!Texts(db, "PRAGMA journal_mode", mode) || mode.empty() || mode[0] != "wal") return true;
    TStatement checkpoint = Prepare(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    return checkpoint && sqlite3_step(checkpoint.get()) == SQLITE_ROW && sqlite3_column_int(checkpoint.get(), 0) == 0;
}

// Runs Work inside one transaction: committed when it answers true, rolled back
// otherwise. True when committed and checkpointed.
template <class TWork>
bool InTransaction(const std::wstring& file, TWork work) {
    TDatabase db = OpenExisting(file);
    if (!db) return false;
    Run(db.get(), "PRAGMA secure_delete=ON");
    // The kept addresses never go to a temporary file.
    Run(db.get(), "PRAGMA temp_store=MEMORY");
    // An exclusive transaction takes the write lock at once: a browser holding
    // the database makes it fail here, before anything is read.
    if (!Run(db.get(), "BEGIN EXCLUSIVE")) return false;
    if (!work(db.get()) || !Run(db.get(), "COMMIT")) {
        Run(db.get(), "ROLLBACK");
        return false;
    }
    return CheckpointWal(db.get());
}

}  // namespace

void SetDatabaseAttributesForTesting(TFileAttributesFunction Attributes) {
    AttributesOf = Attributes ? Attributes : SystemAttributes;
}

bool ClearChromiumHistoryDatabase(const std::wstring& DatabaseFile, const std::vector<std::string>& KeptUrls) {
    return InTransaction(DatabaseFile, [&KeptUrls](sqlite3* db) {
        if (!TableExists(db, "urls") || !TableExists(db, "visits") || !ColumnExists(db, "urls", "url")) return false;
        if (!DeleteAllRows(db, {"visit_source", "visits", "keyword_search_terms", "segment_usage", "segments",
                                "context_annotations", "content_annotations", "clusters_and_visits", "clusters",
                                "cluster_keywords", "cluster_visit_duplicates", "visited_links"}))
            return false;
        // The bookmarked pages keep their rows, as Chromium keeps them, without a trace of the visits.
        if (!FillTemporaryTable(db, "kept_urls", KeptUrls) ||
            !Run(db, "DELETE FROM urls WHERE url IS NULL OR url NOT IN (SELECT value FROM temp.kept_urls)"))
            return false;
        for (const char* counter : {"visit_count", "typed_count", "last_visit_time"})
            if (ColumnExists(db, "urls", counter) &&
                !Run(db, std::string("UPDATE urls SET ") + counter + "=0 WHERE " + counter + "<>0"))
                return false;
        return true;
    });
}

bool ClearChromiumFaviconDatabase(const std::wstring& DatabaseFile, const std::vector<std::string>& KeptUrls) {
    return InTransaction(DatabaseFile, [&KeptUrls](sqlite3* db) {
        if (!TableExists(db, "icon_mapping") || !TableExists(db, "favicons")) return false;
        return FillTemporaryTable(db, "kept_urls", KeptUrls) &&
               Run(db, "DELETE FROM icon_mapping WHERE page_url IS NULL OR page_url NOT IN "
                       "(SELECT value FROM temp.kept_urls)") &&
               Run(db, "DELETE FROM favicons WHERE id NOT IN "
                       "(SELECT icon_id FROM icon_mapping WHERE icon_id IS NOT NULL)") &&
               DeleteOrphans(db, "favicon_bitmaps", "icon_id", "favicons");
    });
}

bool ClearHistoryOnlyDatabase(const std::wstring& DatabaseFile, const char* MainTable) {
    return InTransaction(DatabaseFile, [MainTable](sqlite3* db) {
        if (!TableExists(db, MainTable)) return false;
        std::vector<std::string> tables;
        if (!Texts(db,
                   "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                   "AND name NOT IN ('meta', 'resource_prefetch_predictor_metadata')",
                   tables))
            return false;
        for (const auto& table : tables) {
            std::string quoted;
            for (char c : table) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            if (!Run(db, "DELETE FROM \"" + quoted + "\"")) return false;
        }
        return true;
    });
}

bool ClearCookieDatabase(const std::wstring& DatabaseFile, const char* Table) {
    return InTransaction(DatabaseFile, [Table](sqlite3* db) {
        if (!TableExists(db, Table)) return false;
        return DeleteAllRows(db, {Table});
    });
}

bool ClearFirefoxPlacesHistory(const std::wstring& DatabaseFile, TFirefoxKeptPlaces* Kept) {
    TFirefoxKeptPlaces kept;
    const bool committed = InTransaction(DatabaseFile, [&kept](sqlite3* db) {
        if (!TableExists(db, "moz_places") || !TableExists(db, "moz_historyvisits")) return false;
        if (!DeleteAllRows(db, {"moz_historyvisits", "moz_historyvisits_extra", "moz_inputhistory",
                                "moz_places_metadata", "moz_places_metadata_search_queries"}))
            return false;
        // The places something other than history refers to. Firefox counts
        // bookmarks and keywords in foreign_count; the references themselves
        // are asked too, in case a count was left wrong.
        std::string keep = "0";
        if (ColumnExists(db, "moz_places", "foreign_count")) keep += " OR foreign_count > 0";
        if (TableExists(db, "moz_bookmarks"))
            keep += " OR id IN (SELECT fk FROM moz_bookmarks WHERE fk IS NOT NULL)";
        if (TableExists(db, "moz_keywords") && ColumnExists(db, "moz_keywords", "place_id"))
            keep += " OR id IN (SELECT place_id FROM moz_keywords WHERE place_id IS NOT NULL)";
        if (!Run(db, "DELETE FROM moz_places WHERE NOT (" + keep + ")")) return false;
        // What hung on the removed places: their annotations (a download's
        // source and target among them), sync and new-tab records.
        for (const char* table : {"moz_annos", "moz_places_extra", "moz_newtab_shortcuts_interaction"})
            if (!DeleteOrphans(db, table, "place_id", "moz_places")) return false;
        if (TableExists(db, "moz_anno_attributes") && TableExists(db, "moz_annos")) {
            std::string unused = "DELETE FROM moz_anno_attributes WHERE id NOT IN "
                                 "(SELECT anno_attribute_id FROM moz_annos WHERE anno_attribute_id IS NOT NULL)";
            if (TableExists(db, "moz_items_annos"))
                unused += " AND id NOT IN (SELECT anno_attribute_id FROM moz_items_annos "
                          "WHERE anno_attribute_id IS NOT NULL)";
            if (!Run(db, unused)) return false;
        }
        for (const char* counter : {"visit_count", "typed"})
            if (ColumnExists(db, "moz_places", counter) &&
                !Run(db, std::string("UPDATE moz_places SET ") + counter + "=0 WHERE " + counter + "<>0"))
                return false;
        if (ColumnExists(db, "moz_places", "last_visit_date") &&
            !Run(db, "UPDATE moz_places SET last_visit_date=NULL WHERE last_visit_date IS NOT NULL"))
            return false;
        if (TableExists(db, "moz_origins") && ColumnExists(db, "moz_places", "origin_id") &&
            !Run(db, "DELETE FROM moz_origins WHERE id NOT IN "
                     "(SELECT origin_id FROM moz_places WHERE origin_id IS NOT NULL)"))
            return false;
        if (!Texts(db, "SELECT url FROM moz_places WHERE url IS NOT NULL", kept.Urls)) return false;
        if (TableExists(db, "moz_origins") && ColumnExists(db, "moz_origins", "prefix") &&
            !Texts(db, "SELECT prefix || host FROM moz_origins", kept.Origins))
            return false;
        return true;
    });
    if (committed && Kept) *Kept = std::move(kept);
    return committed;
}

bool ClearFirefoxFavicons(const std::wstring& DatabaseFile, const TFirefoxKeptPlaces& Kept) {
    return InTransaction(DatabaseFile, [&Kept](sqlite3* db) {
        if (!TableExists(db, "moz_pages_w_icons") || !TableExists(db, "moz_icons") ||
            !TableExists(db, "moz_icons_to_pages"))
            return false;
        if (!FillTemporaryTable(db, "kept_urls", Kept.Urls) || !FillTemporaryTable(db, "kept_origins", Kept.Origins))
            return false;
        if (!Run(db, "DELETE FROM moz_pages_w_icons WHERE page_url NOT IN (SELECT value FROM temp.kept_urls)") ||
            !DeleteOrphans(db, "moz_icons_to_pages", "page_id", "moz_pages_w_icons"))
            return false;
        // A site's own icon belongs to no page; it stays while its origin does.
        std::string unused = "DELETE FROM moz_icons WHERE id NOT IN (SELECT icon_id FROM moz_icons_to_pages)";
        if (ColumnExists(db, "moz_icons", "root"))
            unused += " AND NOT (root <> 0 AND icon_url IN (SELECT value || '/favicon.ico' FROM temp.kept_origins))";
        return Run(db, unused);
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
