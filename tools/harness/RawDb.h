#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/FeedItem.h"

struct sqlite3;

namespace harness {

using Cell = std::optional<std::string>;  // std::nullopt for NULL
using Rows = std::vector<std::vector<Cell>>;

// A row of `items` as the file holds it.
struct RcdRow : FeedItem {
    int64_t id = 0;
};

// A connection of its own to an rcd file: for looking at the file as SQLite keeps it, holding locks on
// it, and writing rows the store did not. Failures throw std::runtime_error, which fails the test that
// met them; TryQuery and Items answer std::nullopt instead, for a file a running program may not have
// written yet. Cells are the exact bytes stored.
class RawDb {
  public:
    // ReadOnly never creates the file and waits out a writer for a few seconds.
    enum class Mode { ReadWrite, ReadOnly };

    explicit RawDb(const std::filesystem::path& file, Mode mode = Mode::ReadWrite);
    ~RawDb();
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    void Exec(const std::string& sql);
    Rows Query(const std::string& sql);
    std::optional<Rows> TryQuery(const std::string& sql);
    // The first cell of the first row; "" for no row or NULL.
    std::string Scalar(const std::string& sql);

    // Every row of `items` in ID order.
    std::optional<std::vector<RcdRow>> Items();
    // The items' seven stored fields, in one transaction: thousands of rows in a moment.
    void InsertItems(const std::vector<FeedItem>& items);

  private:
    struct Closer {
        void operator()(sqlite3* db) const noexcept;
    };

    std::optional<Rows> Run(const std::string& sql, std::string& error);

    std::filesystem::path m_file;
    std::unique_ptr<sqlite3, Closer> m_db;
};

}  // namespace harness
