#include "RcdReader.h"

#include <memory>

#include <sqlite3.h>

namespace e2e {
namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

Db Open(const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Db db(raw);
    if (rc != SQLITE_OK) {
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), 5000);
    return db;
}

Stmt Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        return nullptr;
    }
    return Stmt(raw);
}

std::string Column(sqlite3_stmt* stmt, int i) {
    const auto* text = static_cast<const char*>(sqlite3_column_blob(stmt, i));
    return text ? std::string(text, sqlite3_column_bytes(stmt, i)) : std::string();
}

}  // namespace

std::optional<std::vector<RcdRow>> RcdReader::Items() const {
    Db db = Open(m_file);
    if (!db) {
        return std::nullopt;
    }
    Stmt stmt = Prepare(db.get(),
                        "SELECT ID, msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl "
                        "FROM items ORDER BY ID");
    if (!stmt) {
        return std::nullopt;
    }
    std::vector<RcdRow> rows;
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = stmt.get();
        rows.push_back(RcdRow{sqlite3_column_int64(s, 0), Column(s, 1), Column(s, 2), Column(s, 3),
                              Column(s, 4), Column(s, 5), Column(s, 6), Column(s, 7)});
    }
    if (rc != SQLITE_DONE) {
        return std::nullopt;
    }
    return rows;
}

std::optional<int64_t> RcdReader::ItemsSequence() const {
    Db db = Open(m_file);
    if (!db) {
        return std::nullopt;
    }
    Stmt stmt = Prepare(db.get(), "SELECT seq FROM sqlite_sequence WHERE name = 'items'");
    if (!stmt || sqlite3_step(stmt.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    return sqlite3_column_int64(stmt.get(), 0);
}

std::string RcdReader::IntegrityCheck() const {
    Db db = Open(m_file);
    if (!db) {
        return "cannot open";
    }
    Stmt stmt = Prepare(db.get(), "PRAGMA integrity_check");
    if (!stmt || sqlite3_step(stmt.get()) != SQLITE_ROW) {
        return sqlite3_errmsg(db.get());
    }
    return Column(stmt.get(), 0);
}

}  // namespace e2e
