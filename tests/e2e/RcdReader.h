#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct RcdRow {
    int64_t id = 0;
    std::string msg_picurl;
    std::string msg_top;
    std::string msg_title;  // GBK bytes
    std::string msg_date;
    std::string msg_url;
    std::string msg_id;
    std::string msg_buyurl;
};

// Reads a notifier's `rcd` from outside, read-only, while the notifier may be writing it.
// Every call opens its own connection and waits out a busy writer.
class RcdReader {
  public:
    explicit RcdReader(std::filesystem::path file) : m_file(std::move(file)) {}

    bool Exists() const { return std::filesystem::exists(m_file); }
    // Rows in ID order; nullopt when the file or table cannot be read.
    std::optional<std::vector<RcdRow>> Items() const;
    // seq of `items` in sqlite_sequence; nullopt when there is no such row.
    std::optional<int64_t> ItemsSequence() const;
    // The result of PRAGMA integrity_check ("ok" for a sound file).
    std::string IntegrityCheck() const;

  private:
    std::filesystem::path m_file;
};

}  // namespace e2e
