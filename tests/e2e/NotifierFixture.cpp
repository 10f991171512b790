#include "NotifierFixture.h"

#include <iconv.h>

#include <algorithm>
#include <iostream>

namespace e2e {
namespace fs = std::filesystem;

std::string TabText(std::size_t unread, std::size_t total) {
    return "所有提醒 (" + std::to_string(unread) + "/" + std::to_string(total) + ")";
}

std::string ToGbk(const std::string& utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return {};
    }
    std::string in = utf8;
    std::string out(in.size() * 2 + 4, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t srcLeft = in.size();
    size_t dstLeft = out.size();
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) {
        return {};
    }
    out.resize(out.size() - dstLeft);
    return out;
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
    m_server.reset();
}

void NotifierTest::ServeItems(int count, const std::string& prefix) {
    for (int n = 1; n <= count; ++n) {
        m_server->AddItem(m_server->MakeEntry(n, prefix));
    }
}

void NotifierTest::StartApp(const std::vector<std::string>& arguments) {
    m_app = std::make_unique<AppProcess>(NOTIFIER_E2E_EXE, m_runDir);
    m_app->Start(arguments);
    m_probe.emplace(NOTIFIER_E2E_SCRIPT, m_app->Pid());
    m_rcd.emplace(m_app->RcdPath());
}

void NotifierTest::StartAndWaitForList(std::size_t count) {
    StartApp();
    ASSERT_TRUE(WaitForRows(count, 20s)) << "rows stored: " << Rows().size();
    ASSERT_TRUE(WaitForTab(count, count, 10s));
}

std::vector<RcdRow> NotifierTest::Rows() const { return m_rcd->Items().value_or(std::vector<RcdRow>{}); }

bool NotifierTest::WaitForRows(std::size_t count, Ms timeout) const {
    return WaitFor([&] { return Rows().size() == count; }, timeout);
}

std::optional<RcdRow> NotifierTest::RowWithUrl(const std::string& url) const {
    for (auto& row : Rows()) {
        if (row.msg_url == url) {
            return row;
        }
    }
    return std::nullopt;
}

bool NotifierTest::WaitForTab(std::size_t unread, std::size_t total, Ms timeout) const {
    const std::string want = TabText(unread, total);
    const auto tab = m_probe->ById("all_notify_tab", timeout, want);
    return tab && tab->text == want;
}

bool NotifierTest::ClickId(const std::string& id) const {
    const auto element = m_probe->ById(id, 5s);
    if (!element) {
        return false;
    }
    XDesktop::Click(element->CentreX(), element->CentreY());
    return true;
}

std::vector<std::string> NotifierTest::Headings(Ms timeout) const {
    std::vector<std::string> texts;
    for (const auto& h : m_probe->ByRole("heading", std::nullopt, timeout)) {
        texts.push_back(h.text);
    }
    return texts;
}

}  // namespace e2e
