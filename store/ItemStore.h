#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "store/FeedItem.h"

// The item database: the SQLite file "rcd" in one directory, tables `items` and `itemdate`.
// One connection, shared by the poll worker (inserts) and the GUI thread (list, mark, delete);
// SQLite's serialized mode makes each call atomic.
class ItemStore {
public:
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

private:
    // filled in by the implementation
};
