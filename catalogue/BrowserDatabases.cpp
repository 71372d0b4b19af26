#include "catalogue/BrowserDatabases.h"
#include "texts/Texts.h"

#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
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

// SQLite's answer in the program's words where it is one a user meets.
std::wstring SqliteWhy(sqlite3* db, int rc) {
    switch (rc & 0xFF) {
        case SQLITE_NOTADB: return LoadText(TTextId::DatabaseNotSqlite);
        case SQLITE_CORRUPT: return LoadText(TTextId::DatabaseCorrupt);
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return LoadText(TTextId::DatabaseInUse);
        case SQLITE_CANTOPEN: return LoadText(TTextId::DatabaseCannotOpen);
        case SQLITE_READONLY:
        case SQLITE_PERM: return LoadText(TTextId::DatabaseReadOnly);
        case SQLITE_FULL: return LoadText(TTextId::DatabaseDiskFull);
        default: break;
    }
    return L"SQLite: " + FromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

DWORD SystemAttributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }
TFileAttributesFunction AttributesOf = SystemAttributes;

constexpr DWORD StatementLimitMs = 30 * 1000;
DWORD StatementLimit = StatementLimitMs;

// When the statement running now must end; the progress handler reads it.
struct TStatementClock {
    ULONGLONG Deadline = 0;
    bool Expired = false;
};

int ProgressHandler(void* context) {
    auto* clock = static_cast<TStatementClock*>(context);
    if (::GetTickCount64() < clock->Deadline) return 0;
    clock->Expired = true;
    return 1;  // SQLITE_INTERRUPT for the statement
}

// Why an entry in a database's place cannot be opened as one; empty when it
// is a file itself: no folder, no link of any kind. Windows shows a file
// symbolic link as a reparse point, and SQLite would open, write and delete
// through it (into any file the link names, when elevated); Wine shows such a
// link as a plain file, which EntryIsItself sees through.
std::wstring NotAFileWhy(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return LoadText(TTextId::DatabaseIsALink);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return LoadText(TTextId::DatabaseIsAFolder);
    if (!EntryIsItself(path)) return LoadText(TTextId::DatabaseIsALink);
    return {};
}

// An open database and the clock of its statements.
struct TOpenDatabase {
    TDatabase Db;
    std::unique_ptr<TStatementClock> Clock = std::make_unique<TStatementClock>();
};

// The database, opened read-write, defensive and without triggers; Result
// says why not (Absent when there is no such file).
TOpenDatabase OpenExisting(const std::wstring& file, TDatabaseResult& result) {
    TOpenDatabase open;
    result = {};
    const DWORD attributes = AttributesOf(file);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return open;
        result = {TDatabaseState::Failed, SysErrorMessage(error)};
        return open;
    }
    result.State = TDatabaseState::Failed;
    if (result.Why = NotAFileWhy(file, attributes); !result.Why.empty()) return open;
    // SQLite writes its journal or WAL beside the database and deletes it after;
    // one that is a link would have it write over, or delete, the link's target.
    for (const wchar_t* companion : {L"-journal", L"-wal", L"-shm"}) {
        const std::wstring path = file + companion;
        const DWORD companionAttributes = AttributesOf(path);
        if (companionAttributes == INVALID_FILE_ATTRIBUTES) continue;
        if (const std::wstring why = NotAFileWhy(path, companionAttributes); !why.empty()) {
            result.Why = std::wstring(companion) + L" " + why;
            return open;
        }
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(ToUtf8(file).c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    open.Db.reset(raw);
    if (rc != SQLITE_OK) {
        result.Why = SqliteWhy(open.Db.get(), rc);
        open.Db.reset();
        return open;
    }
    sqlite3* db = open.Db.get();
    // Nothing the file holds runs for us: no trigger, no write to the schema
    // or to pages SQLite does not own.
    if (sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK ||
        sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr) != SQLITE_OK) {
        result.Why = LoadText(TTextId::DatabaseTriggersStayOn);
        open.Db.reset();
        return open;
    }
    // Checked every thousand virtual machine steps: a statement the file makes
    // endless ends at the limit.
    sqlite3_progress_handler(db, 1000, ProgressHandler, open.Clock.get());
    // A browser that starts meanwhile finds the database busy; nobody waits.
    sqlite3_busy_timeout(db, 0);
    result = {};
    return open;
}

// The clock of the database being cleaned (one at a time; SQLite is built
// single-threaded); each statement handed to SQLite starts it again.
TStatementClock* CurrentClock = nullptr;

void StartStatementClock() {
    if (CurrentClock) CurrentClock->Deadline = ::GetTickCount64() + StatementLimit;
}

bool Run(sqlite3* db, const char* sql) {
    StartStatementClock();
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}
bool Run(sqlite3* db, const std::string& sql) { return Run(db, sql.c_str()); }

TStatement Prepare(sqlite3* db, const char* sql) {
    StartStatementClock();
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
// otherwise. Cleared when committed and checkpointed. Work may say why it
// declined (a missing table); otherwise SQLite's error is the reason.
template <class TWork>
TDatabaseResult InTransaction(const std::wstring& file, TWork work) {
    TDatabaseResult result;
    TOpenDatabase open = OpenExisting(file, result);
    if (!open.Db) return result;
    sqlite3* db = open.Db.get();
    CurrentClock = open.Clock.get();
    struct TForgetClock {
        ~TForgetClock() { CurrentClock = nullptr; }
    } forget;
    const auto failed = [&](std::wstring why) {
        if (why.empty())
            why = open.Clock->Expired ? FormatText(TTextId::DatabaseStatementTimedOut, StatementLimit / 1000)
                                      : SqliteWhy(db, sqlite3_extended_errcode(db));
        Run(db, "ROLLBACK");
        return TDatabaseResult{TDatabaseState::Failed, std::move(why)};
    };
    Run(db, "PRAGMA secure_delete=ON");
    // The kept addresses never go to a temporary file.
    Run(db, "PRAGMA temp_store=MEMORY");
    // An exclusive transaction takes the write lock at once: a browser holding
    // the database makes it fail here, before anything is read.
    if (!Run(db, "BEGIN EXCLUSIVE")) return failed({});
    std::wstring why;
    if (!work(db, why)) return failed(std::move(why));
    if (!Run(db, "COMMIT")) return failed({});
    if (!CheckpointWal(db)) return {TDatabaseState::Failed, LoadText(TTextId::DatabaseWalNotWrittenBack)};
    return {TDatabaseState::Cleared, {}};
}

// The reason a missing table gives.
std::wstring MissingTable(const char* table) { return FormatText(TTextId::DatabaseMissingTable, FromUtf8(table)); }

// True when every table is there; Why names the first that is not.
bool HasTables(sqlite3* db, std::initializer_list<const char*> tables, std::wstring& why) {
    for (const char* table : tables)
        if (!TableExists(db, table)) {
            why = MissingTable(table);
            return false;
        }
    return true;
}

}  // namespace

void SetDatabaseAttributesForTesting(TFileAttributesFunction Attributes) {
    AttributesOf = Attributes ? Attributes : SystemAttributes;
}

void SetDatabaseStatementLimitForTesting(DWORD Milliseconds) {
    StatementLimit = Milliseconds ? Milliseconds : StatementLimitMs;
}

TDatabaseResult ClearChromiumHistoryDatabase(const std::wstring& DatabaseFile, const std::vector<std::string>& KeptUrls) {
    return InTransaction(DatabaseFile, [&KeptUrls](sqlite3* db, std::wstring& why) {
        if (!HasTables(db, {"urls", "visits"}, why)) return false;
        if (!ColumnExists(db, "urls", "url")) {
            why = FormatText(TTextId::DatabaseMissingColumn, L"urls", L"url");
            return false;
        }
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

TDatabaseResult ClearChromiumFaviconDatabase(const std::wstring& DatabaseFile, const std::vector<std::string>& KeptUrls) {
    return InTransaction(DatabaseFile, [&KeptUrls](sqlite3* db, std::wstring& why) {
        if (!HasTables(db, {"icon_mapping", "favicons"}, why)) return false;
        return FillTemporaryTable(db, "kept_urls", KeptUrls) &&
               Run(db, "DELETE FROM icon_mapping WHERE page_url IS NULL OR page_url NOT IN "
                       "(SELECT value FROM temp.kept_urls)") &&
               Run(db, "DELETE FROM favicons WHERE id NOT IN "
                       "(SELECT icon_id FROM icon_mapping WHERE icon_id IS NOT NULL)") &&
               DeleteOrphans(db, "favicon_bitmaps", "icon_id", "favicons");
    });
}

TDatabaseResult ClearHistoryOnlyDatabase(const std::wstring& DatabaseFile, const char* MainTable) {
    return InTransaction(DatabaseFile, [MainTable](sqlite3* db, std::wstring& why) {
        if (!TableExists(db, MainTable)) {
            why = MissingTable(MainTable);
            return false;
        }
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

TDatabaseResult ClearChromiumDipsInteractions(const std::wstring& DatabaseFile) {
    return InTransaction(DatabaseFile, [](sqlite3* db, std::wstring& why) {
        if (!TableExists(db, "bounces")) {
            why = MissingTable("bounces");
            return false;
        }
        // The columns as the schema has them: nullable since the second
        // version of the database, 0 for "never" in the first.
        std::string times, empty = "1";
        TStatement columns = Prepare(db, "SELECT name, \"notnull\" FROM pragma_table_info('bounces')");
        if (!columns) return false;
        while (sqlite3_step(columns.get()) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(columns.get(), 0));
            const std::string name = text ? text : "";
            if (name.size() < 5 || name.compare(name.size() - 5, 5, "_time") != 0) continue;
            const std::string quoted = "\"" + name + "\"";
            if (name.find("user_interaction") != std::string::npos || name.find("web_authn") != std::string::npos)
                times += std::string(times.empty() ? "" : ", ") + quoted +
                         (sqlite3_column_int(columns.get(), 1) ? "=0" : "=NULL");
            empty += " AND (" + quoted + " IS NULL OR " + quoted + "=0)";
        }
        columns.reset();
        if (times.empty()) return true;
        return Run(db, "UPDATE bounces SET " + times) && Run(db, "DELETE FROM bounces WHERE " + empty);
    });
}

TDatabaseResult ClearCookieDatabase(const std::wstring& DatabaseFile, const char* Table) {
    return InTransaction(DatabaseFile, [Table](sqlite3* db, std::wstring& why) {
        if (!TableExists(db, Table)) {
            why = MissingTable(Table);
            return false;
        }
        return DeleteAllRows(db, {Table});
    });
}

TDatabaseResult ClearFirefoxPlacesHistory(const std::wstring& DatabaseFile, TFirefoxKeptPlaces* Kept) {
    TFirefoxKeptPlaces kept;
    TDatabaseResult result = InTransaction(DatabaseFile, [&kept](sqlite3* db, std::wstring& why) {
        if (!HasTables(db, {"moz_places", "moz_historyvisits"}, why)) return false;
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
    if (result && Kept) *Kept = std::move(kept);
    return result;
}

TDatabaseResult ClearFirefoxFavicons(const std::wstring& DatabaseFile, const TFirefoxKeptPlaces& Kept) {
    return InTransaction(DatabaseFile, [&Kept](sqlite3* db, std::wstring& why) {
        if (!HasTables(db, {"moz_pages_w_icons", "moz_icons", "moz_icons_to_pages"}, why)) return false;
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
