#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "store/FeedItem.h"
#include "store/ItemStore.h"

namespace storetest {

namespace fs = std::filesystem;

// A fresh directory per test, removed with everything in it afterwards.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "store-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& Path() const { return m_path; }
    // The form the store takes: a directory name ending in '/'.
    std::string ModuleDir() const { return m_path.string() + "/"; }

  private:
    fs::path m_path;
};

using Cell = std::optional<std::string>;  // nullopt for NULL
using Rows = std::vector<std::vector<Cell>>;

// A second, independent connection for looking at the file as SQLite keeps it.
class RawDb {
  public:
    explicit RawDb(const fs::path& file) {
        if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK)
            ADD_FAILURE() << "cannot open " << file;
    }
    ~RawDb() { sqlite3_close(m_db); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    void Exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK)
            ADD_FAILURE() << sql << ": " << (message != nullptr ? message : "?");
        sqlite3_free(message);
    }

    // Every cell read as the exact bytes stored.
    Rows Query(const std::string& sql) {
        Rows rows;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(m_db);
            return rows;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            auto& row = rows.emplace_back();
            for (int c = 0; c < sqlite3_column_count(statement); ++c) {
                if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
                    row.emplace_back(std::nullopt);
                    continue;
                }
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, c));
                row.emplace_back(std::string(bytes != nullptr ? bytes : "",
                                             static_cast<size_t>(sqlite3_column_bytes(statement, c))));
            }
        }
        sqlite3_finalize(statement);
        return rows;
    }

    // The single cell of a one-row, one-column query ("" when absent).
    std::string Scalar(const std::string& sql) {
        const Rows rows = Query(sql);
        if (rows.size() != 1 || rows[0].size() != 1 || !rows[0][0]) return {};
        return *rows[0][0];
    }

  private:
    sqlite3* m_db = nullptr;
};

// Names parameterized cases after the `name` member of their row.
struct CaseName {
    template <class Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& row) const {
        return row.param.name;
    }
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// An item as the parser hands it over: the seven stored fields derived from the date, read mark empty.
inline FeedItem MakeItem(const std::string& date) {
    FeedItem item;
    item.msg_date = date;
    item.msg_title = "title " + date;
    item.msg_url = "http://deals.test/item/" + date;
    item.msg_buyurl = "http://shop.test/buy/" + date;
    item.msg_picurl = "http://img.test/" + date + ".jpg";
    return item;
}

class StoreTest : public ::testing::Test {
  protected:
    fs::path RcdPath() const { return m_dir.Path() / "rcd"; }
    std::unique_ptr<ItemStore> OpenStore() const { return std::make_unique<ItemStore>(m_dir.ModuleDir()); }

    TempDir m_dir;
};

// A Ready store on a fresh directory.
class ReadyStoreTest : public StoreTest {
  protected:
    void SetUp() override {
        m_store = OpenStore();
        ASSERT_TRUE(m_store->IsReady());
    }

    std::vector<std::string> ListedDates() {
        std::vector<std::string> dates;
        const auto items = m_store->ListItems();
        EXPECT_TRUE(items.has_value());
        if (items)
            for (const FeedItem& item : *items) dates.push_back(item.msg_date);
        return dates;
    }

    std::unique_ptr<ItemStore> m_store;
};

}  // namespace storetest
