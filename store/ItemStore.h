#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

#include "store/FeedItem.h"

// The item database: the SQLite file "rcd" in one directory, tables `items` and `itemdate`.
// One connection, shared by the poll worker (inserts) and the GUI thread (list, mark, delete).
// Every operation holds the store's mutex for its whole run, so an insert is never interleaved with a
// delete, and Close() waits for a running operation; after Close() every operation fails.
class ItemStore {
  public:
    // The directory of the running executable (/proc/self/exe). Only the process-wide object uses this.
    ItemStore();
    // Opens or creates <moduleDir>rcd and prepares the tables and the Image directory.
    // `moduleDir` ends in '/'.
    explicit ItemStore(std::string moduleDir);
    ~ItemStore();
    ItemStore(const ItemStore&) = delete;
    ItemStore& operator=(const ItemStore&) = delete;

    bool InsertItem(const FeedItem& item);
    bool IsDateUnseen(const std::string& date);
    bool SaveItemDate(const std::string& date);
    bool MarkReadByUrl(const std::string& url);
    // Marks read the rows whose msg_url is `url` or whose msg_buyurl is `buyUrl`: one link in the two
    // encodings those fields are stored in.
    bool MarkReadByUrl(const std::string& url, const std::string& buyUrl);
    bool MarkAllRead();
    bool RemoveAllItems();
    // Every row, newest first. std::nullopt when the query failed; an empty vector for an empty table.
    std::optional<std::vector<FeedItem>> ListItems();

    // Ends the connection; no operation may run during or after it.
    void Close();

    bool IsReady() const { return m_bOpened && m_bTablesReady; }
    bool IsOpened() const { return m_bOpened; }
    const std::string& ModuleDir() const { return m_strModuleDir; }
    const std::string& ImageDir() const { return m_strImageDir; }

    static void AssignColumn(FeedItem& record, const char* name, const char* value);
    // The same with explicit lengths, so values holding any bytes (NULs included) arrive whole.
    static void AssignColumn(FeedItem& record, std::string_view name, std::string_view value);

  private:
    struct Closer {
        void operator()(sqlite3* db) const noexcept;
    };
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const noexcept;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

    void Start();
    void ComputeModuleDir();
    bool Open();
    bool CreateTables();
    bool CreateTable(const char* sql, const char* alreadyExists);
    void PrepareImageDir();

    // These run with m_mutex held.
    Statement Prepare(std::string_view sql);
    bool Execute(std::string_view sql, std::initializer_list<std::string_view> values = {});
    std::optional<std::string> QueryCount(std::string_view sql,
                                          std::initializer_list<std::string_view> values);
    bool IsDateUnseenLocked(const std::string& date);
    bool SaveItemDateLocked(const std::string& date);

    std::atomic<bool> m_bOpened{false};
    std::atomic<bool> m_bTablesReady{false};
    std::unique_ptr<sqlite3, Closer> m_pDb;
    std::string m_strModuleDir;
    std::string m_strImageDir;
    std::mutex m_mutex;
};
