#include "store/ItemStore.h"

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <unordered_set>
#include <utility>

namespace {

// The separators are part of the schema text SQLite keeps in the file; files written by earlier
// builds carry exactly these bytes.
constexpr const char* kCreateItems =
    "create table items(msg_picurl varchar(200), \t\t\t\t\t\t  msg_top varchar(2), \t\t\t\t\t\t  "
    "msg_title varchar(200), \t\t\t\t\t\t  msg_date varchar(30), \t\t\t\t\t\t  "
    "msg_url varchar(200), \t\t\t\t\t\t  msg_id varchar(15), \t\t\t\t\t\t  "
    "msg_buyurl varchar(200),\t\t\t\t\t\t  ID integer primary key autoincrement)";
constexpr const char* kCreateItemDate = "create table itemdate(msg_date varchar(200))";

constexpr std::string_view kCountDate = "Select count(*) from items where msg_date=?";
constexpr std::string_view kInsertItem =
    "insert into items(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, msg_buyurl)"
    "\t\t\t\t\t   values(?,?,?,?,?,?, ?)";
constexpr std::string_view kCountItemDate = "Select count(*) from itemdate";
constexpr std::string_view kInsertItemDate = "Insert into itemdate(msg_date)values(?)";
constexpr std::string_view kUpdateItemDate = "Update itemdate set msg_date = ?";
// Rows already read are left unwritten: the same rows end up read, with one scan and no needless
// rewrite of a read row (the whole table, for mark-all-read).
constexpr std::string_view kMarkReadByUrl =
    "update items set msg_top=1 where (msg_url=? or msg_buyurl=?) and msg_top is not '1'";
constexpr std::string_view kMarkAllRead = "update items set msg_top=1 where msg_top is not '1'";
constexpr std::string_view kDeleteItems = "delete from items";
constexpr std::string_view kResetSequence = "update sqlite_sequence set seq=0 where name='items'";
constexpr std::string_view kListItems = "Select * from items order by ID desc";
constexpr std::string_view kListItemsAbove = "Select * from items where ID > ? order by ID desc";
constexpr std::string_view kListMarks = "Select ID, msg_top from items where ID <= ? order by ID desc";
constexpr std::string_view kStoredDates = "Select msg_date from items";
constexpr std::string_view kBegin = "BEGIN IMMEDIATE";
constexpr std::string_view kBeginRead = "BEGIN";
constexpr std::string_view kCommit = "COMMIT";
constexpr std::string_view kRollback = "ROLLBACK";
constexpr std::string_view kDataVersion = "PRAGMA data_version";

// Another process reading the file (a backup, the sqlite3 shell) holds its lock for moments; waiting
// that long beats failing a write, and stays short enough that the GUI thread never visibly stalls.
constexpr int kBusyTimeoutMs = 200;

std::string_view ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (text == nullptr) return {};
    return {text, static_cast<size_t>(sqlite3_column_bytes(statement, column))};
}

// SQLite answers null when it cannot allocate the name.
std::string_view ColumnName(sqlite3_stmt* statement, int column) {
    const char* name = sqlite3_column_name(statement, column);
    return name == nullptr ? std::string_view() : std::string_view(name);
}

}  // namespace

void ItemStore::Closer::operator()(sqlite3* db) const noexcept {
    // Fails only while statements are unfinalized; Close() finalizes them first.
    sqlite3_close(db);
}

void ItemStore::Finalizer::operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }

void ItemStore::Resetter::operator()(sqlite3_stmt* statement) const noexcept {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

ItemStore::ItemStore(std::string moduleDir, Logger log)
    : m_log(std::move(log)), m_strModuleDir(std::move(moduleDir)) {
    Start();
}

void ItemStore::Log(std::string_view what, std::string_view detail) const {
    if (m_log) m_log("store", std::string(what) + ": " + std::string(detail));
}

ItemStore::~ItemStore() { Close(); }

void ItemStore::Start() {
    m_bOpened = Open();
    m_bTablesReady = CreateTables();
    PrepareImageDir();
}

bool ItemStore::Open() {
    // The poll worker and the GUI thread share this connection: it needs a thread-safe library. Every use
    // holds m_mutex, so SQLite's own lock around each call (FULLMUTEX) would only be paid twice.
    if (sqlite3_threadsafe() == 0) {
        Log("open", "SQLite is built without thread safety");
        return false;
    }
    if (m_strModuleDir.empty()) return false;
    const std::string path = m_strModuleDir + "rcd";
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc != SQLITE_OK) {
        Log("open " + path, raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        return false;  // the half-opened handle is closed here rather than kept
    }
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    m_pDb = std::move(db);
    return true;
}

bool ItemStore::CreateTable(const char* sql, const char* alreadyExists) {
    char* message = nullptr;
    const int rc = sqlite3_exec(m_pDb.get(), sql, nullptr, nullptr, &message);
    const std::unique_ptr<char, decltype(&sqlite3_free)> owned(message, &sqlite3_free);
    if (rc == SQLITE_OK) return true;
    const std::string_view text = message != nullptr ? std::string_view(message) : std::string_view();
    if (text == alreadyExists) return true;
    Log("create table", text);
    return false;
}

bool ItemStore::CreateTables() {
    if (!m_bOpened) return false;
    if (!CreateTable(kCreateItems, "table items already exists")) return false;
    return CreateTable(kCreateItemDate, "table itemdate already exists");
}

void ItemStore::PrepareImageDir() {
    m_strImageDir = "Image";
    if (m_strModuleDir.empty()) {  // never beside whatever the working directory is
        m_strImageDir.clear();
        return;
    }
    const std::filesystem::path path = m_strModuleDir + m_strImageDir;
    std::error_code ec;
    // Anything of that name, file or directory (or even a dangling link), is left alone.
    if (std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found) return;
    if (!std::filesystem::create_directory(path, ec)) {
        Log("create Image", ec.message());
        m_strImageDir.clear();
    }
}

void ItemStore::Close() {
    const std::lock_guard lock(m_mutex);
    m_statements.clear();  // the connection closes only once every statement is finalized
    m_pDb.reset();
    m_dates.reset();
    m_bOpened = false;
}

ItemStore::Statement ItemStore::Prepare(std::string_view sql) {
    if (!m_pDb) return nullptr;
    auto& cached = m_statements[sql];
    if (!cached) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v3(m_pDb.get(), sql.data(), static_cast<int>(sql.size()),
                               SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK) {
            Log(sql, sqlite3_errmsg(m_pDb.get()));
            m_statements.erase(sql);
            return nullptr;
        }
        cached.reset(raw);
    }
    return Statement(cached.get());
}

namespace {

bool BindAll(sqlite3_stmt* statement, std::initializer_list<std::string_view> values) {
    int index = 1;
    for (const std::string_view value : values) {
        // SQLITE_TRANSIENT: the bytes are copied, so the caller's buffers need not outlive the call.
        if (sqlite3_bind_text64(statement, index++, value.data(), value.size(), SQLITE_TRANSIENT,
                                SQLITE_UTF8) != SQLITE_OK)
            return false;
    }
    return true;
}

}  // namespace

bool ItemStore::Execute(std::string_view sql, std::initializer_list<std::string_view> values) {
    const Statement statement = Prepare(sql);
    if (!statement || !BindAll(statement.get(), values)) return false;
    return EachRow(statement.get(), sql, [](sqlite3_stmt*) {});
}

std::optional<int64_t> ItemStore::QueryNumber(std::string_view sql,
                                              std::initializer_list<std::string_view> values) {
    const Statement statement = Prepare(sql);
    if (!statement || !BindAll(statement.get(), values)) return std::nullopt;
    if (sqlite3_step(statement.get()) != SQLITE_ROW || sqlite3_column_count(statement.get()) != 1) {
        Log(sql, sqlite3_errmsg(m_pDb.get()));
        return std::nullopt;
    }
    return sqlite3_column_int64(statement.get(), 0);
}

bool ItemStore::EachRow(sqlite3_stmt* statement, std::string_view sql,
                        const std::function<void(sqlite3_stmt*)>& row) {
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) row(statement);
    if (rc == SQLITE_DONE) return true;
    Log(sql, sqlite3_errmsg(m_pDb.get()));
    return false;
}

bool ItemStore::IsDateUnseen(const std::string& date) {
    const std::lock_guard lock(m_mutex);
    return IsDateUnseenLocked(date);
}

bool ItemStore::IsDateUnseenLocked(const std::string& date) {
    if (!m_bOpened || !m_bTablesReady) return false;
    // A failed count means "unknown", not "new": storing then could duplicate a stored date.
    const std::optional<int64_t> count = QueryNumber(kCountDate, {date});
    return count.has_value() && *count == 0;
}

bool ItemStore::SaveItemDate(const std::string& date) {
    const std::lock_guard lock(m_mutex);
    return SaveItemDateLocked(date);
}

bool ItemStore::SaveItemDateLocked(const std::string& date) {
    if (!m_bOpened || !m_bTablesReady) return false;
    const std::optional<int64_t> count = QueryNumber(kCountItemDate, {});
    if (!count) return false;
    return Execute(*count <= 0 ? kInsertItemDate : kUpdateItemDate, {date});
}

bool ItemStore::InsertItem(const FeedItem& item) {
    const std::lock_guard lock(m_mutex);
    if (!m_bOpened || !m_bTablesReady) return false;
    if (!IsDateUnseenLocked(item.msg_date)) return false;
    return InsertItemLocked(item);
}

bool ItemStore::InsertItemLocked(const FeedItem& item) {
    if (!Execute(kInsertItem, {item.msg_picurl, item.msg_top, item.msg_title, item.msg_date, item.msg_url,
                               item.msg_id, item.msg_buyurl}))
        return false;
    if (m_dates) m_dates->dates.insert(item.msg_date);
    SaveItemDateLocked(item.msg_date);
    return true;
}

const std::unordered_set<std::string>* ItemStore::StoredDatesLocked() {
    const std::optional<int64_t> dataVersion = QueryNumber(kDataVersion, {});
    if (!dataVersion) return nullptr;
    if (m_dates && m_dates->dataVersion == *dataVersion && m_dates->removals == m_nRemovals)
        return &m_dates->dates;
    m_dates.reset();
    const Statement statement = Prepare(kStoredDates);
    if (!statement) return nullptr;
    DateSet read{*dataVersion, m_nRemovals, {}};
    const bool done = EachRow(statement.get(), kStoredDates,
                              [&read](sqlite3_stmt* row) { read.dates.emplace(ColumnText(row, 0)); });
    if (!done) return nullptr;
    m_dates = std::move(read);
    return &m_dates->dates;
}

std::optional<StoreVersion> ItemStore::InsertNewItems(const std::vector<FeedItem>& items) {
    const std::lock_guard lock(m_mutex);
    if (!m_bOpened || !m_bTablesReady) return std::nullopt;
    if (items.empty()) return VersionLocked();
    if (!Execute(kBegin)) return std::nullopt;
    // Newness compares dates byte for byte, as the count query does. Each insert adds its date to the set.
    const std::unordered_set<std::string>* seen = StoredDatesLocked();
    bool ok = seen != nullptr;
    bool complete = true;
    if (ok) {
        for (const FeedItem& item : items) {
            if (seen->contains(item.msg_date) || InsertItemLocked(item)) continue;
            // A row that cannot be written stays unstored, as on its own, and the poll goes on, unless
            // SQLite has given up the whole transaction.
            complete = false;
            if (sqlite3_get_autocommit(m_pDb.get()) != 0) {
                ok = false;
                break;
            }
        }
        ok = ok && Execute(kCommit);
    }
    if (!ok) {
        // Never leave a transaction open: the next poll stores these rows again, and reads the dates anew.
        Execute(kRollback);
        m_dates.reset();
        return std::nullopt;
    }
    return complete ? VersionLocked() : std::nullopt;
}

bool ItemStore::MarkReadByUrl(const std::string& url) { return MarkReadByUrl(url, url); }

bool ItemStore::MarkReadByUrl(const std::string& url, const std::string& buyUrl) {
    const std::lock_guard lock(m_mutex);
    return CountMarkings(Execute(kMarkReadByUrl, {url, buyUrl}));
}

bool ItemStore::CountMarkings(bool ok) {
    // A statement that failed may have marked some rows all the same; one that changed none did not.
    if (!ok || sqlite3_changes64(m_pDb.get()) > 0) ++m_nMarkings;
    return ok;
}

bool ItemStore::MarkAllRead() {
    const std::lock_guard lock(m_mutex);
    return CountMarkings(Execute(kMarkAllRead));
}

bool ItemStore::RemoveAllItems() {
    const std::lock_guard lock(m_mutex);
    // Counted even when a statement fails: some rows may be gone all the same.
    ++m_nRemovals;
    return Execute(kDeleteItems) && Execute(kResetSequence);
}

std::optional<std::vector<FeedItem>> ItemStore::ListItems() {
    std::optional<std::vector<ListedRow>> rows = ListRows();
    if (!rows) return std::nullopt;
    std::vector<FeedItem> items;
    items.reserve(rows->size());
    for (ListedRow& row : *rows) items.push_back(std::move(row.item));
    return items;
}

std::optional<std::vector<ListedRow>> ItemStore::ListRows() {
    const std::lock_guard lock(m_mutex);
    return ListRowsLocked(kListItems, std::nullopt);
}

std::optional<ListedChanges> ItemStore::ListChangesAbove(int64_t topId, bool marks) {
    const std::lock_guard lock(m_mutex);
    // One read transaction: another process's commit cannot fall between the two queries.
    if (!Execute(kBeginRead)) return std::nullopt;
    std::optional<std::vector<ListedRow>> added = ListRowsLocked(kListItemsAbove, topId);
    std::optional<std::vector<RowMark>> listedMarks =
        added && marks ? ListMarksLocked(topId) : std::optional<std::vector<RowMark>>(std::vector<RowMark>{});
    if (!Execute(kCommit)) Execute(kRollback);
    if (!added || !listedMarks) return std::nullopt;
    return ListedChanges{std::move(*added), std::move(*listedMarks)};
}

std::optional<std::vector<ListedRow>> ItemStore::ListRowsLocked(std::string_view sql,
                                                                std::optional<int64_t> id) {
    const Statement statement = Prepare(sql);
    if (!statement || (id && sqlite3_bind_int64(statement.get(), 1, *id) != SQLITE_OK)) return std::nullopt;
    sqlite3_stmt* const rows = statement.get();
    // Which field each column fills, found once: a column of any other name is skipped.
    const int columns = sqlite3_column_count(rows);
    std::vector<std::string FeedItem::*> fields(static_cast<size_t>(columns));
    int idColumn = -1;
    for (int column = 0; column < columns; ++column) {
        const std::string_view name = ColumnName(rows, column);
        fields[static_cast<size_t>(column)] = FieldNamed(name);
        if (name == "ID") idColumn = column;
    }
    std::vector<ListedRow> listed;
    const bool done = EachRow(rows, sql, [&](sqlite3_stmt*) {
        ListedRow& row = listed.emplace_back();
        if (idColumn >= 0) row.id = sqlite3_column_int64(rows, idColumn);
        for (int column = 0; column < columns; ++column) {
            if (std::string FeedItem::*field = fields[static_cast<size_t>(column)])
                row.item.*field = ColumnText(rows, column);
        }
    });
    if (!done) return std::nullopt;
    return listed;
}

std::optional<std::vector<RowMark>> ItemStore::ListMarksLocked(int64_t topId) {
    const Statement statement = Prepare(kListMarks);
    if (!statement || sqlite3_bind_int64(statement.get(), 1, topId) != SQLITE_OK) return std::nullopt;
    std::vector<RowMark> marks;
    const bool done = EachRow(statement.get(), kListMarks, [&marks](sqlite3_stmt* row) {
        marks.push_back({sqlite3_column_int64(row, 0), std::string(ColumnText(row, 1))});
    });
    if (!done) return std::nullopt;
    return marks;
}

std::optional<StoreVersion> ItemStore::Version() {
    const std::lock_guard lock(m_mutex);
    return VersionLocked();
}

std::optional<StoreVersion> ItemStore::VersionLocked() {
    const std::optional<int64_t> dataVersion = QueryNumber(kDataVersion, {});
    if (!dataVersion) return std::nullopt;
    return StoreVersion{sqlite3_total_changes64(m_pDb.get()), *dataVersion, m_nRemovals, m_nMarkings};
}

std::string FeedItem::*ItemStore::FieldNamed(std::string_view name) {
    std::string FeedItem::*const fields[] = {
        &FeedItem::msg_picurl, &FeedItem::msg_url,  &FeedItem::msg_type, &FeedItem::msg_id,
        &FeedItem::msg_title,  &FeedItem::msg_desc, &FeedItem::msg_date, &FeedItem::msg_categories,
        &FeedItem::msg_buyurl, &FeedItem::msg_top,
    };
    constexpr std::string_view names[] = {"msg_picurl", "msg_url",  "msg_type", "msg_id",
                                          "msg_title",  "msg_desc", "msg_date", "msg_categories",
                                          "msg_buyurl", "msg_top"};
    for (size_t i = 0; i < std::size(names); ++i) {
        if (name == names[i]) return fields[i];
    }
    return nullptr;
}
