#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "store/FeedItem.h"

struct sqlite3;
struct sqlite3_stmt;

// Which contents of the store a reader has seen. Equal versions mean that neither this program nor
// another connection to the file has written in between.
struct StoreVersion {
    int64_t changes = 0;      // rows this connection has written (SQLite's total changes)
    int64_t dataVersion = 0;  // SQLite's data_version: commits of other connections
    int64_t removals = 0;     // times this connection has deleted rows
    int64_t markings = 0;     // times this connection has written read marks
    bool operator==(const StoreVersion&) const = default;
};

// One row of the list: its ID and its record.
struct ListedRow {
    int64_t id = 0;
    FeedItem item;
};

// One row's ID and read mark (msg_top as stored).
struct RowMark {
    int64_t id = 0;
    std::string top;
};

// What a list showing the rows up to some ID lacks: the rows above it whole, and the ID and read mark of
// every row at or below it. Both newest first.
struct ListedChanges {
    std::vector<ListedRow> added;
    std::vector<RowMark> marks;
};

// The item database: the SQLite file "rcd" in one directory, tables `items` and `itemdate`.
// One connection, shared by the poll worker (inserts) and the GUI thread (list, mark, delete).
// Every operation holds the store's mutex for its whole run, so an insert is never interleaved with a
// delete, and Close() waits for a running operation; after Close() every operation fails.
class ItemStore {
  public:
    // Where the store reports its failures under the area "store" (a developer's log, such as
    // platform::DebugLog); they never reach the user.
    using Logger = std::function<void(std::string_view area, std::string_view message)>;

    // Opens or creates <moduleDir>rcd and prepares the tables and the Image directory.
    // `moduleDir` ends in '/'; its creator decides where it is. An empty one opens nothing.
    explicit ItemStore(std::string moduleDir, Logger log = {});
    ~ItemStore();
    ItemStore(const ItemStore&) = delete;
    ItemStore& operator=(const ItemStore&) = delete;

    bool InsertItem(const FeedItem& item);
    bool IsDateUnseen(const std::string& date);
    bool SaveItemDate(const std::string& date);
    // Every item whose date is new, in the order given, as InsertItem would store them one by one, but
    // in one transaction. The version right after the commit; std::nullopt when the transaction failed
    // and was rolled back, or when some row could not be written (the others are committed).
    std::optional<StoreVersion> InsertNewItems(const std::vector<FeedItem>& items);
    bool MarkReadByUrl(const std::string& url);
    // Marks read the rows whose msg_url is `url` or whose msg_buyurl is `buyUrl`: one link in the two
    // encodings those fields are stored in.
    bool MarkReadByUrl(const std::string& url, const std::string& buyUrl);
    bool MarkAllRead();
    bool RemoveAllItems();
    // Every row, newest first. std::nullopt when the query failed; an empty vector for an empty table.
    std::optional<std::vector<FeedItem>> ListItems();
    // Every row, newest first, with its ID.
    std::optional<std::vector<ListedRow>> ListRows();
    // The rows above `topId` whole and the read marks of the others, from one snapshot of the table:
    // the cheap way to bring a shown list up to date. Without `marks`, only the rows above.
    std::optional<ListedChanges> ListChangesAbove(int64_t topId, bool marks = true);
    // The current version; std::nullopt when it cannot be read (then nothing may be assumed unchanged).
    std::optional<StoreVersion> Version();

    // Ends the connection; no operation may run during or after it.
    void Close();

    // Opened with both tables in place: items can be stored.
    bool IsReady() const { return m_bOpened && m_bTablesReady; }
    const std::string& ModuleDir() const { return m_strModuleDir; }

  private:
    // The field a column named `name` (msg_...) fills; null for any other name.
    static std::string FeedItem::*FieldNamed(std::string_view name);
    void Log(std::string_view what, std::string_view detail) const;

    struct Closer {
        void operator()(sqlite3* db) const noexcept;
    };
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const noexcept;
    };
    // Returns a cached statement to its unbound, reset state, so it holds no lock on the file.
    struct Resetter {
        void operator()(sqlite3_stmt* statement) const noexcept;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Resetter>;

    void Start();
    bool Open();
    bool CreateTables();
    bool CreateTable(const char* sql, const char* alreadyExists);
    void PrepareImageDir();

    // These run with m_mutex held.
    Statement Prepare(std::string_view sql);
    bool Execute(std::string_view sql, std::initializer_list<std::string_view> values = {});
    // Hands each row of `statement` (the text `sql`) to `row`; false, and logged, when SQLite fails first.
    bool EachRow(sqlite3_stmt* statement, std::string_view sql,
                 const std::function<void(sqlite3_stmt*)>& row);
    std::optional<int64_t> QueryNumber(std::string_view sql, std::initializer_list<std::string_view> values);
    bool IsDateUnseenLocked(const std::string& date);
    bool SaveItemDateLocked(const std::string& date);
    bool InsertItemLocked(const FeedItem& item);
    // Counts a read-mark write that may have changed rows; returns `ok`, the write's result.
    bool CountMarkings(bool ok);
    // The stored dates, read from the table only when another connection or a deletion may have
    // changed them since the last read; null when they cannot be read.
    const std::unordered_set<std::string>* StoredDatesLocked();
    // The rows `sql` selects; it takes no value, or one ID bound as an integer.
    std::optional<std::vector<ListedRow>> ListRowsLocked(std::string_view sql, std::optional<int64_t> id);
    std::optional<std::vector<RowMark>> ListMarksLocked(int64_t topId);
    std::optional<StoreVersion> VersionLocked();

    Logger m_log;
    std::atomic<bool> m_bOpened{false};
    std::atomic<bool> m_bTablesReady{false};
    std::unique_ptr<sqlite3, Closer> m_pDb;
    // Prepared once per connection, keyed by their (static) text; finalized before the connection closes.
    std::unordered_map<std::string_view, std::unique_ptr<sqlite3_stmt, Finalizer>> m_statements;
    std::string m_strModuleDir;
    std::string m_strImageDir;
    int64_t m_nRemovals = 0;
    int64_t m_nMarkings = 0;
    // Every stored date as of a data_version and removal count, kept up to date by this connection's
    // own inserts, so that a poll compares its items without reading the whole table.
    struct DateSet {
        int64_t dataVersion = 0;
        int64_t removals = 0;
        std::unordered_set<std::string> dates;
    };
    std::optional<DateSet> m_dates;
    std::mutex m_mutex;
};
