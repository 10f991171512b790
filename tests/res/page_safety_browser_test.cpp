// Hostile item values stay text, and each button opens its own link exactly once.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "PageFixture.h"

namespace {

using namespace std::chrono_literals;

// A loopback server that counts every request; a payload that ran would show up here.
class LoopbackTrap {
  public:
    LoopbackTrap() {
        m_server.Get(".*", [this](const httplib::Request&, httplib::Response& response) {
            ++m_hits;
            response.set_content("", "image/png");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LoopbackTrap() {
        m_server.stop();
        m_thread.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int Hits() const { return m_hits; }

  private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_hits{0};
};

class PageSafety : public PageTest {
  protected:
    static LoopbackTrap& Trap() {
        static LoopbackTrap* trap = new LoopbackTrap();
        return *trap;
    }

    // Waits until the trap has been hit more than `before` times, or `limit` has passed.
    static int HitsAfter(int before, std::chrono::milliseconds limit) {
        for (auto waited = 0ms; waited < limit && Trap().Hits() <= before; waited += 50ms) Page().Spin(50ms);
        return Trap().Hits() - before;
    }
};

// Without this, a quiet trap would prove nothing: markup that reaches the DOM does fetch from it.
TEST_F(PageSafety, TrapSeesMarkupThatRuns) {
    const int before = Trap().Hits();
    Js("document.body.insertAdjacentHTML('beforeend', '<img src=\"" + Trap().Url("/control") + "\">'); 0");
    EXPECT_GT(HitsAfter(before, 3000ms), 0);
}

std::vector<std::string> Payloads(const std::string& url) {
    return {
        "\"><img src=\"" + url + "\" onerror=\"fetch('" + url + "')\">",
        "<script>fetch(\"" + url + "\")</script><b>bold</b>",
        "' onmouseover='fetch(\"" + url + "\")' x='\" onload=\"fetch('" + url + "')\" y=\"",
        "</div></div><iframe src=\"" + url + "\"></iframe>\\\"); fetch('" + url + "'); (\"",
    };
}

struct Argument {
    const char* name;
    int index;             // position in AddAllItem's argument list
    const char* readBack;  // expression giving what the page holds for it; empty: shown nowhere
};

class HostileValue : public PageSafety, public testing::WithParamInterface<Argument> {};

TEST_P(HostileValue, StaysLiteralAndNeverFetches) {
    const int before = Trap().Hits();
    const auto payloads = Payloads(Trap().Url(std::string("/") + GetParam().name));
    for (const auto& payload : payloads) {
        PageItem item{"logo", "1", "t", "d", "http://deals.test/u", "7", "http://shop.test/b"};
        std::vector<std::string> values = item.Values();
        values[GetParam().index] = payload;
        ASSERT_EQ(Page().RunBatch({"ClearItems()", AddAllItemCall(values)}), (std::vector<bool>{true, true}));

        // One entry of exactly the fourteen elements the list builds, no handler attributes, no new script.
        EXPECT_EQ(Js("document.querySelectorAll('#all_notify *').length"), "14") << payload;
        EXPECT_EQ(Js("[].filter.call(document.querySelectorAll('#all_notify *'),function(e){"
                     "return [].some.call(e.attributes,function(a){return /^on/i.test(a.name)})}).length"),
                  "0")
            << payload;
        EXPECT_EQ(Js("document.querySelectorAll('script,iframe,object,embed').length"), "4") << payload;
        if (*GetParam().readBack) {
            EXPECT_EQ(Js(GetParam().readBack), payload);
        }
    }
    EXPECT_EQ(HitsAfter(before, 400ms), 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllSeven, HostileValue,
    testing::Values(
        Argument{"picurl", 0, "document.querySelector('#all_notify img').getAttribute('src')"},
        Argument{"top", 1, ""}, Argument{"title", 2, "document.querySelector('#all_notify h4').textContent"},
        Argument{"date", 3, "document.querySelector('#all_notify small').textContent"},
        Argument{"url", 4, "document.querySelector('[name=button_detail]').getAttribute('detail_url')"},
        Argument{"id", 5,
                 "var d=document.querySelector('[name=button_detail]').getAttribute('msg_id');"
                 "var b=document.querySelector('[name=button_buy]').getAttribute('msg_id');"
                 "d===b?d:'differ'"},
        Argument{"buyurl", 6, "document.querySelector('[name=button_buy]').getAttribute('buy_url')"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// ---- clicks -----------------------------------------------------------------------------------------

struct ClickCase {
    const char* name;
    std::vector<PageItem> items;
    int refreshes;       // how often the same list is rendered before the click
    const char* click;   // expression that clicks something
    const char* opened;  // every window.open URL, joined by spaces
};

class PageClicks : public PageTest, public testing::WithParamInterface<ClickCase> {
  protected:
    void SetUp() override {
        PageTest::SetUp();
        Js("window.__opened = []; window.open = function (u) { window.__opened.push(String(u)); return null; "
           "}; 0");
    }
};

TEST_P(PageClicks, OpenEachLinkOnce) {
    for (int i = 0; i < GetParam().refreshes; ++i) Refresh(GetParam().items);
    ASSERT_NE(Js(GetParam().click), "<threw>");
    EXPECT_EQ(Js("window.__opened.join(' ')"), GetParam().opened);
}

PageItem WithLinks(int n, const std::string& url, const std::string& buy) {
    PageItem item = NumberedItem(n);
    item.url = url;
    item.buyurl = buy;
    return item;
}

const char* kBuy0 = "document.querySelectorAll('#all_notify [name=button_buy]')[0].click(); 0";
const std::vector<PageItem> kSameBuyLink = {WithLinks(1, "http://d/1", "http://b/same"),
                                            WithLinks(2, "http://d/2", "http://b/same"),
                                            WithLinks(3, "http://d/3", "http://b/same")};
const std::vector<PageItem> kEmptyLinks = {WithLinks(1, "", ""), WithLinks(2, "", ""), WithLinks(3, "", "")};

INSTANTIATE_TEST_SUITE_P(
    Cases, PageClicks,
    testing::Values(ClickCase{"SharedBuyLinkOpensOnce", kSameBuyLink, 1, kBuy0, "http://b/same"},
                    ClickCase{"AfterManyRefreshesStillOnce", kSameBuyLink, 5, kBuy0, "http://b/same"},
                    ClickCase{"EmptyBuyLinkOpensNothing", kEmptyLinks, 1, kBuy0, ""},
                    ClickCase{"EmptyDetailLinkOpensNothing", kEmptyLinks, 3,
                              "document.querySelectorAll('#all_notify [name=button_detail]')[2].click(); 0",
                              ""},
                    ClickCase{"DetailOpensItsOwnLink", kSameBuyLink, 2,
                              "document.querySelectorAll('#all_notify [name=button_detail]')[1].click(); 0",
                              "http://d/2"},
                    ClickCase{"ClickOnTheIconCounts", kSameBuyLink, 1,
                              "document.querySelectorAll('#all_notify [name=button_detail] i')[2]"
                              ".dispatchEvent(new MouseEvent('click', {bubbles: true})); 0",
                              "http://d/3"},
                    ClickCase{"ScriptLinksAreNotOpened",
                              {WithLinks(1, "javascript:fetch('/x')", " JavaScript:alert(1)")},
                              1,
                              "document.querySelector('[name=button_detail]').click();"
                              "document.querySelector('[name=button_buy]').click(); 0",
                              ""},
                    ClickCase{"TitleAndToolbarOpenNothing", kSameBuyLink, 1,
                              "document.querySelector('#all_notify h4').click();"
                              "document.getElementById('all_notify_setread').click();"
                              "document.getElementById('all_notify_remove').click();"
                              "document.getElementById('button_close').click(); 0",
                              ""},
                    ClickCase{"TwoClicksTwoOpens", kSameBuyLink, 1,
                              "var b=document.querySelectorAll('#all_notify [name=button_detail]'); "
                              "b[0].click(); b[2].click(); 0",
                              "http://d/1 http://d/3"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
