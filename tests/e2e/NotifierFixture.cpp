#include "NotifierFixture.h"

#include <glib.h>

#include <algorithm>
#include <iostream>

namespace e2e {
namespace fs = std::filesystem;

std::string TabText(std::size_t unread, std::size_t total) {
    return "所有提醒 (" + std::to_string(unread) + "/" + std::to_string(total) + ")";
}

std::string ToGbk(const std::string& utf8) {
    gsize written = 0;
    g_autofree gchar* gbk =
        g_convert(utf8.data(), static_cast<gssize>(utf8.size()), "GBK", "UTF-8", nullptr, &written, nullptr);
    return gbk != nullptr ? std::string(gbk, written) : std::string();
}

void NotifierTest::SetUp() {
    if (!XDesktop::HasDisplay()) {
        GTEST_SKIP() << "needs an X server and a session bus (run under xvfb-run dbus-run-session)";
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    m_runDir = fs::path(NOTIFIER_E2E_ARTIFACTS) / name;
    m_server = std::make_unique<FeedServer>(NOTIFIER_E2E_PORT);
    m_deals.emplace(m_server->Deals());
    // Keep the pointer off the popup: hovering is browser activity, which holds refreshes back.
    XDesktop::MovePointer(0, 0);
}

void NotifierTest::TearDown() {
    if (m_app) {
        XDesktop::Screenshot(m_runDir / "last.png");
        if (HasFailure()) {
            std::cerr << "---- notifier log (" << m_runDir.string() << ") ----\n" << m_app->LogTail() << "\n";
        }
    }
    m_app.reset();  // ends the notifier by its PID when a test left it running
    m_deals.reset();
    m_server.reset();
}

void NotifierTest::ServeItems(int count, const std::string& prefix) { m_deals->AddRange(1, count, prefix); }

void NotifierTest::StartApp(const std::vector<std::string>& arguments) {
    m_app = std::make_unique<AppProcess>(NOTIFIER_E2E_EXE, m_runDir);
    m_app->Start(arguments);
    m_probe.emplace(NOTIFIER_ATSPI_FIND, m_app->Pid());
}

void NotifierTest::StartAndWaitForList(std::size_t count) {
    StartApp();
    ASSERT_TRUE(WaitForRows(count, 20s)) << "rows stored: " << Rows().size();
    ASSERT_TRUE(WaitForTab(count, count, 10s));
}

std::optional<std::vector<RcdRow>> NotifierTest::ReadRcd() const {
    return RawDb(m_app->RcdPath(), RawDb::Mode::ReadOnly).Items();
}

std::vector<RcdRow> NotifierTest::Rows() const { return ReadRcd().value_or(std::vector<RcdRow>{}); }

bool NotifierTest::WaitForRows(std::size_t count, Ms timeout) const {
    return WaitFor([&] { return Rows().size() == count; }, timeout);
}

std::optional<RcdRow> NotifierTest::RowWithUrl(const std::string& url) const {
    const std::vector<RcdRow> rows = Rows();
    const auto row = std::ranges::find(rows, url, &RcdRow::msg_url);
    return row == rows.end() ? std::nullopt : std::optional(*row);
}

bool NotifierTest::WaitForTab(std::size_t unread, std::size_t total, Ms timeout) const {
    const std::string want = TabText(unread, total);
    const auto tab = m_probe->ById("all_notify_tab", timeout, want);
    return tab && tab->text == want;
}

bool NotifierTest::ClickId(const std::string& id) const {
    const auto element = m_probe->ById(id, 5s);
    if (element) XDesktop::Click(element->CentreX(), element->CentreY());
    return element.has_value();
}

std::vector<std::string> NotifierTest::Headings(Ms timeout) const {
    std::vector<std::string> texts;
    for (const auto& h : m_probe->ByRole("heading", std::nullopt, timeout)) texts.push_back(h.text);
    return texts;
}

}  // namespace e2e
