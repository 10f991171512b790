#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "store/FeedItem.h"
#include "store/ItemStore.h"
#include "tools/harness/TempDir.h"

namespace test_support {

// An item as the parser hands it over: the five fields a feed fills, derived from the date.
FeedItem MakeItem(const std::string& date);

// The five fields a feed fills, as stored: date, link, title, picture, buy link. A tuple, so a failed
// comparison prints every field.
using Row = std::tuple<std::string, std::string, std::string, std::string, std::string>;

Row RowOf(const FeedItem& item);
// Every row the store lists, newest first. A failed listing fails the test, and so does a row with a
// read mark or an msg_id: nothing a feed brings may set those.
std::vector<Row> StoredRows(ItemStore& store);

// A store on its own temporary directory.
struct StoreOnDisk {
    explicit StoreOnDisk(harness::TempDir::Backing backing = harness::TempDir::Backing::Disk)
        : dir(backing) {}

    harness::TempDir dir;
    ItemStore store{dir.ModuleDir()};
};

}  // namespace test_support
