#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DealFeed.h"
#include "tools/harness/Command.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/desktop/AppProcess.h"
#include "tools/harness/desktop/PageProbe.h"
#include "tools/harness/desktop/XDesktop.h"
#include "tools/harness/loopback/FeedServer.h"

namespace e2e {

using namespace std::chrono_literals;
using namespace harness;
using Ms = std::chrono::milliseconds;

// The tab's text for given counts, as the page shows it.
std::string TabText(std::size_t unread, std::size_t total);
// UTF-8 to GBK, the encoding titles are stored in.
std::string ToGbk(const std::string& utf8);

// One notifier run per test: a loopback feed server on the port compiled into the notifier copy,
// the copy in the test's own artifact directory (rcd, log, screenshots stay there), and a probe
// into its page. Runs only with a display.
class NotifierTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Serves entries 1..count (title prefix `prefix`) before the notifier starts.
    void ServeItems(int count, const std::string& prefix = "Deal");
    void StartApp(const std::vector<std::string>& arguments = {});
    // Starts and waits until `count` rows are stored and the page lists them all as unread.
    void StartAndWaitForList(std::size_t count);

    std::vector<RcdRow> Rows() const;
    bool WaitForRows(std::size_t count, Ms timeout) const;
    std::optional<RcdRow> RowWithUrl(const std::string& url) const;
    // Waits until the tab reads exactly TabText(unread, total).
    bool WaitForTab(std::size_t unread, std::size_t total, Ms timeout) const;
    // Clicks the centre of the element with this DOM id; false when it cannot be found.
    bool ClickId(const std::string& id) const;
    std::vector<std::string> Headings(Ms timeout = 5s) const;

    // Every row of the notifier's rcd, read through a connection of its own; nullopt while unreadable.
    std::optional<std::vector<RcdRow>> ReadRcd() const;

    std::filesystem::path m_runDir;
    std::unique_ptr<FeedServer> m_server;
    std::optional<DealFeed> m_deals;
    std::unique_ptr<AppProcess> m_app;
    std::optional<PageProbe> m_probe;
};

}  // namespace e2e
