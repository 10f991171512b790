#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/ItemStore.h"
#include "tests/support/CaseName.h"
#include "tests/support/StoreContents.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/TempDir.h"

namespace storetest {

namespace fs = std::filesystem;
using namespace harness;
using namespace test_support;

class StoreTest : public ::testing::Test {
  protected:
    fs::path RcdPath() const { return m_dir.Rcd(); }
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

    // The listing; a failed one fails the test and lists nothing.
    std::vector<FeedItem> Listed() {
        auto items = m_store->ListItems();
        EXPECT_TRUE(items.has_value()) << "a failed query is not an empty list";
        return items.value_or(std::vector<FeedItem>{});
    }

    std::vector<std::string> ListedDates() {
        std::vector<std::string> dates;
        for (const FeedItem& item : Listed()) dates.push_back(item.msg_date);
        return dates;
    }

    std::unique_ptr<ItemStore> m_store;
};

}  // namespace storetest
