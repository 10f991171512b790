#include "tools/harness/RawDb.h"

#include <sqlite3.h>

#include <stdexcept>

namespace harness {

namespace {

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

std::string Text(const Cell& cell) { return cell.value_or(std::string()); }

}  // namespace

void RawDb::Closer::operator()(sqlite3* db) const noexcept { sqlite3_close(db); }

RawDb::RawDb(const std::filesystem::path& file, Mode mode) : m_file(file) {
    const int flags =
        mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    m_db.reset(db);
    if (rc != SQLITE_OK) {
        m_db.reset();
        return;
    }
    if (mode == Mode::ReadOnly) sqlite3_busy_timeout(db, 5000);
}

RawDb::~RawDb() = default;

std::optional<Rows> RawDb::Run(const std::string& sql, std::string& error) {
    if (!m_db) {
        error = "cannot open " + m_file.string();
        return std::nullopt;
    }
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(m_db.get());
        return std::nullopt;
    }
    const Statement statement(raw);
    Rows rows;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        auto& row = rows.emplace_back();
        for (int c = 0; c < sqlite3_column_count(raw); ++c) {
            if (sqlite3_column_type(raw, c) == SQLITE_NULL) {
                row.emplace_back(std::nullopt);
                continue;
            }
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(raw, c));
            row.emplace_back(std::string(bytes != nullptr ? bytes : "",
                                         static_cast<size_t>(sqlite3_column_bytes(raw, c))));
        }
    }
    if (rc != SQLITE_DONE) {
        error = sqlite3_errmsg(m_db.get());
        return std::nullopt;
    }
    return rows;
}

std::optional<Rows> RawDb::TryQuery(const std::string& sql) {
    std::string ignored;
    return Run(sql, ignored);
}

Rows RawDb::Query(const std::string& sql) {
    std::string error;
    auto rows = Run(sql, error);
    if (!rows) throw std::runtime_error(sql + ": " + error);
    return *std::move(rows);
}

void RawDb::Exec(const std::string& sql) {
    if (!m_db) throw std::runtime_error(sql + ": cannot open " + m_file.string());
    char* message = nullptr;
    if (sqlite3_exec(m_db.get(), sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return;
    const std::string error = message != nullptr ? message : sqlite3_errmsg(m_db.get());
    sqlite3_free(message);
    throw std::runtime_error(sql + ": " + error);
}

std::string RawDb::Scalar(const std::string& sql) {
    const Rows rows = Query(sql);
    return rows.empty() || rows[0].empty() ? std::string() : Text(rows[0][0]);
}

std::optional<std::vector<RcdRow>> RawDb::Items() {
    const auto rows = TryQuery(
        "select ID, msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl from items order "
        "by ID");
    if (!rows) return std::nullopt;
    std::vector<RcdRow> items;
    for (const auto& cells : *rows) {
        RcdRow& row = items.emplace_back();
        row.id = std::stoll(Text(cells[0]));
        row.msg_picurl = Text(cells[1]);
        row.msg_top = Text(cells[2]);
        row.msg_title = Text(cells[3]);
        row.msg_date = Text(cells[4]);
        row.msg_url = Text(cells[5]);
        row.msg_id = Text(cells[6]);
        row.msg_buyurl = Text(cells[7]);
    }
    return items;
}

void RawDb::InsertItems(const std::vector<FeedItem>& items) {
    Exec("begin");
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_db.get(),
                           "insert into items(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, "
                           "msg_buyurl) values(?,?,?,?,?,?,?)",
                           -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("insert: ") + sqlite3_errmsg(m_db.get()));
    const Statement insert(raw);
    for (const FeedItem& item : items) {
        const std::string* values[] = {&item.msg_picurl, &item.msg_top, &item.msg_title, &item.msg_date,
                                       &item.msg_url,    &item.msg_id,  &item.msg_buyurl};
        for (int i = 0; i < 7; ++i)
            sqlite3_bind_text(raw, i + 1, values[i]->data(), static_cast<int>(values[i]->size()),
                              SQLITE_STATIC);
        if (sqlite3_step(raw) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(m_db.get()));
        sqlite3_reset(raw);
    }
    Exec("commit");
}

}  // namespace harness
