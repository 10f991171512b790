// Hostile feeds from the download path all the way to the screen: the stored rows are rendered the way
// the host renders them (script texts, page text, the WebKit engine, the page from the bundle). Every
// payload that ran or loaded would fetch from the loopback server; it must see none of that, and the
// page must show each value literally.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "HostileFeeds.h"
#include "feed/FeedPoller.h"
#include "platform/AnsiCodePage.h"
#include "platform/WindowManager.h"
#include "popup/PageText.h"
#include "popup/ScriptText.h"
#include "res/PageResources.h"
#include "tests/support/CaseName.h"
#include "tools/harness/MainLoop.h"
#include "tools/harness/TempDir.h"
#include "tools/harness/desktop/PageScript.h"
#include "tools/harness/loopback/FeedServer.h"
#include "webhost/GtkStartup.h"
#include "webhost/ResourceScheme.h"
#include "webhost/WebKitEngine.h"

namespace hostile {
namespace {

using namespace std::chrono_literals;

constexpr const char* kExePath = "/opt/deals notifier/notifier";

// The popup's stand-in: a toplevel whose fixed container holds the view.
class Frame : public platform::CMessageMap {
  public:
    bool ProcessWindowMessage(platform::HWND, platform::UINT, platform::WPARAM, platform::LPARAM,
                              platform::LRESULT&, uint32_t) override {
        return false;
    }
};

class PageHost {
  public:
    PageHost() {
        if (!WebWindow::StartGtk(nullptr, nullptr)) {
            std::fprintf(stderr, "no X display\n");
            std::abort();
        }
        m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(m_window), 515, 580);
        m_fixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(m_window), m_fixed);
        m_hwnd = platform::CreateWindow(&m_frame);
        platform::SetNativeWidget(m_hwnd, m_fixed);
        m_engine = std::make_unique<WebWindow::WebKitEngine>(PageResources(), kPageResourcePrefix, kExePath);
        if (!m_engine->Create(m_hwnd, {1, 1, 514, 579})) std::abort();
        m_engine->Show(true);
        gtk_widget_show_all(m_window);
    }

    bool Load() {
        m_engine->Navigate(WebWindow::PageUrl(kExePath));
        return SpinUntil([this] { return m_engine->HasDocument(); }, 30s);
    }

    std::vector<bool> Run(std::vector<std::string> texts) {
        std::vector<bool> flags;
        bool done = false;
        m_engine->RunScripts(std::move(texts), [&](std::vector<bool> result) {
            flags = std::move(result);
            done = true;
        });
        EXPECT_TRUE(SpinUntil([&] { return done; }, 120s)) << "no answer to the script batch";
        return flags;
    }

    // The value of `js` in the page's own world, as JSON text.
    std::string Eval(const std::string& js) {
        const std::optional<std::string> json = harness::EvaluateJson(m_engine->Widget(), js, 120s);
        EXPECT_TRUE(json) << "no answer to " << js.substr(0, 200);
        return json.value_or("");
    }

  private:
    Frame m_frame;
    GtkWidget* m_window = nullptr;
    GtkWidget* m_fixed = nullptr;
    platform::HWND m_hwnd = nullptr;
    std::unique_ptr<WebWindow::WebKitEngine> m_engine;
};

// `utf8` as a page expression, so that the page can compare the expected values itself: every byte
// but letters and digits percent-encoded, decoded by the page.
std::string PageString(const std::string& utf8) {
    std::string out = "decodeURIComponent('";
    for (const unsigned char c : utf8) {
        char escaped[4] = {static_cast<char>(c)};
        if (!g_ascii_isalnum(static_cast<char>(c))) std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        out += escaped;
    }
    return out + "')";
}

std::string Wanted(const std::vector<Expected>& rows) {
    std::string out = "[";
    for (const Expected& row : rows) {
        if (out.size() > 1) out += ',';
        const auto& [src, title, date, url, buy] = row.shown;
        out += "[" + PageString(src) + "," + PageString(title) + "," + PageString(date) + "," +
               PageString(url) + "," + PageString(buy) + "]";
    }
    return out + "]";
}

// Empty when every entry shows exactly the wanted values; otherwise the first differences.
// The list builds entries only near the view: those at its top and, scrolled to the end, those at its
// bottom must show the first and the last rows exactly.
constexpr const char* kCompareShown = R"JS((function (want) {
  var l = document.getElementById('all_notify'), bad = [];
  function compare(atEnd) {
    l.scrollTop = atEnd ? l.scrollHeight : 0;
    l.dispatchEvent(new Event('scroll'));
    var rows = l.querySelectorAll(':scope > .row-fluid');
    if (rows.length === 0 && want.length > 0) return bad.push('no entries shown');
    if (rows.length > want.length) return bad.push('entries: ' + rows.length + ' instead of ' + want.length);
    var first = atEnd ? want.length - rows.length : 0;
    for (var i = 0; i < rows.length && bad.length < 5; i++) {
      var r = rows[i], w = want[first + i];
      var got = [r.querySelector('img').getAttribute('src'), r.querySelector('h4').lastChild.data,
                 r.querySelector('small').textContent,
                 r.querySelector('[name=button_detail]').getAttribute('detail_url'),
                 r.querySelector('[name=button_buy]').getAttribute('buy_url')];
      for (var j = 0; j < 5; j++) {
        if (got[j] !== w[j]) {
          bad.push('entry ' + (first + i) + ' value ' + j + ': ' + JSON.stringify(String(got[j]).slice(0, 160)) +
                   ' instead of ' + JSON.stringify(w[j].slice(0, 160)));
        }
      }
    }
  }
  compare(true);
  compare(false);
  return bad.join('\n');
}))JS";

// Elements the list builds; anything else in it came from a value.
constexpr const char* kForeignMarkup = R"JS((function () {
  var allowed = {DIV: 1, IMG: 1, H4: 1, SPAN: 1, SMALL: 1, P: 1, BUTTON: 1, I: 1, HR: 1};
  var odd = [];
  document.querySelectorAll('#all_notify *').forEach(function (e) {
    if (!allowed[e.tagName]) odd.push(e.tagName);
    [].forEach.call(e.attributes, function (a) { if (/^on/i.test(a.name)) odd.push(e.tagName + '@' + a.name); });
  });
  return odd.slice(0, 10).join(' ') + '|' +
         document.querySelectorAll('script,iframe,object,embed,svg,a[href],link,style,base,meta').length;
})())JS";

// Hovers and clicks the buttons, pictures and titles of the first entries, as a user would. (Each
// blocked window.open costs the page time; 30,000 of them would take minutes.)
constexpr const char* kPokeEveryButton = R"JS((function () {
  var n = 0;
  var targets = document.querySelectorAll('#all_notify button, #all_notify img, #all_notify h4');
  [].slice.call(targets, 0, 200).forEach(function (b) {
    ['mouseover', 'mousedown', 'mouseup'].forEach(function (type) {
      b.dispatchEvent(new MouseEvent(type, {bubbles: true}));
    });
    b.click();
    n++;
  });
  return n;
})())JS";

class HostilePage : public testing::TestWithParam<HostileCase> {
  protected:
    static PageHost& Host() {
        static PageHost* host = new PageHost();  // lives until exit, as its web process does
        return *host;
    }
    static FeedServer& Server() {
        static FeedServer* server = new FeedServer();
        return *server;
    }

    void SetUp() override {
        ASSERT_TRUE(Host().Load()) << "the popup page did not load";
        m_baseline = Host().Eval(kForeignMarkup);
    }

    // What the host does on a refresh: every stored row, newest first, then the counts.
    void Render(ItemStore& store) {
        const auto items = store.ListItems();
        ASSERT_TRUE(items.has_value());
        std::vector<std::string> batch{std::string(ScriptText::kClearItems)};
        int64_t unread = 0;
        for (const FeedItem& item : *items) {
            batch.push_back(ScriptText::AddAllItem(PageText::ForPage(item, platform::AnsiCodeset())));
            if (item.msg_top != "1") ++unread;
        }
        const size_t texts = batch.size();
        EXPECT_EQ(Host().Run(std::move(batch)), std::vector<bool>(texts, true));
        EXPECT_EQ(Host().Run({ScriptText::InitAllNum(unread, static_cast<int64_t>(items->size()))}),
                  std::vector<bool>{true});
    }

    std::string m_baseline;
};

// Without this, a quiet server would prove nothing: markup that does reach the page fetches from it.
TEST_F(HostilePage, ServerSeesMarkupThatRuns) {
    const auto before = Server().OtherPaths("/control").size();
    Host().Eval("document.body.insertAdjacentHTML('beforeend', '<img src=\"" + Server().Url("/control/img") +
                "\">'); 0");
    EXPECT_TRUE(SpinUntil([&] { return Server().OtherPaths("/control").size() > before; }, 10s));
}

TEST_P(HostilePage, NothingRunsAndEveryValueShowsLiterally) {
    const Feed feed = GetParam().make(Server().Host());
    TempDir dir(TempDir::Backing::Memory);
    ItemStore store(dir.ModuleDir());
    ASSERT_TRUE(store.IsReady());
    Server().SetBody(feed.document);
    FeedPoller(Server().Url(), store).PollOnce({});
    const auto executedBefore = Server().OtherPaths("/exec/");

    Render(store);
    // Twice: the second refresh patches entries in place rather than building them.
    Render(store);
    EXPECT_EQ(Host().Eval(std::string(kCompareShown) + "(" + Wanted(feed.rows) + ")"), "\"\"");
    const std::string markup = Host().Eval(kForeignMarkup);
    EXPECT_EQ(markup.substr(0, markup.find('|')), "\"") << markup;
    EXPECT_EQ(markup.substr(markup.find('|')), m_baseline.substr(m_baseline.find('|')));

    EXPECT_NE(Host().Eval(kPokeEveryButton), "");
    RunFor(500ms);
    EXPECT_EQ(Server().OtherPaths("/exec/"), executedBefore);
}

INSTANTIATE_TEST_SUITE_P(Payloads, HostilePage, testing::ValuesIn(HostileCases()), CaseName());

}  // namespace
}  // namespace hostile
