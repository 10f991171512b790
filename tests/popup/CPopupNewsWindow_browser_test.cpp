// The real popup: the page from the bundle in WebKit, a store on disk, and presses through the X server.
#include "popup/CPopupNewsWindow.h"

#include <clocale>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "PopupTestSupport.h"
#include "popup/GtkPopupSurface.h"
#include "res/PageResources.h"
#include "store/ItemStore.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/desktop/PageScript.h"
#include "tools/harness/desktop/XDesktop.h"
#include "webhost/GtkStartup.h"
#include "webhost/WebKitEngine.h"

namespace {

using namespace std::chrono_literals;

using namespace popup_test;

constexpr const char* kExePath = "/opt/deals notifier/notifier";
constexpr int kSecondary = 3;
constexpr int kMiddle = 2;

// One popup for the whole suite (a web process per test would cost seconds); each test brings its own
// rows and has them shown with a refresh tick of its own, since clicks hold the popup's ticks back for
// ten seconds.
class LivePopup : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(WebWindow::StartGtk(nullptr, nullptr)) << "needs an X display";
        // Links with Chinese text must survive the locale's character set.
        ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
        s_dir = new TempDir();
        s_store = new ItemStore(s_dir->ModuleDir());
        s_popup = new CPopupNewsWindow(PopupServices{
            .store = *s_store,
            .makeEngine =
                [] {
                    auto engine = WebWindow::MakeWebKitEngine(PageResources(), kPageResourcePrefix, kExePath);
                    s_engine = dynamic_cast<WebWindow::WebKitEngine*>(engine.get());
                    return engine;
                },
            .surface = std::make_unique<GtkPopupSurface>(PageResources(),
                                                         std::string(kPageResourcePrefix) + "/png/133"),
            .startPolling = [] {},
            .exePath = kExePath,
            .openLink = [](const std::string&) {},
        });
        s_hWnd = s_popup->Create({0, 0, CPopupNewsWindow::kWidth, CPopupNewsWindow::kHeight});
        ASSERT_NE(s_hWnd, nullptr);
        ASSERT_NE(s_engine, nullptr);
        ASSERT_TRUE(SpinUntil([] { return s_engine->HasDocument(); }, 30000ms)) << "the page did not load";
    }

    static void TearDownTestSuite() {
        delete s_popup;
        Drain();
        g_hwndPopup = nullptr;
        delete s_store;
        delete s_dir;
    }

    // Replaces the stored rows (listed newest, that is last, first) and waits until the page shows all
    // of them. Titles carry a stamp of this call, so that an earlier test's rows never pass for these.
    static void Show(std::vector<FeedItem> rows) {
        const std::string stamp = "#" + std::to_string(++s_shows);
        ASSERT_TRUE(s_store->RemoveAllItems());
        for (FeedItem& row : rows) {
            row.msg_title += stamp;
            ASSERT_TRUE(s_store->InsertItem(row));
        }
        const std::string shown =
            "(() => { const t = [...document.querySelectorAll('#all_notify h4')]; return t.length === " +
            std::to_string(rows.size()) + " && t.every(h => h.textContent.endsWith('" + stamp + "')); })()";
        ASSERT_TRUE(SpinUntil(
            [&] {
                platform::SendMessage(s_hWnd, platform::WM_TIMER, TIMER_REFRESH, 0);
                return Eval(shown) == "true";
            },
            10000ms));
    }

    static std::string Eval(const std::string& js) {
        const std::optional<std::string> json = harness::EvaluateJson(s_engine->Widget(), js);
        EXPECT_TRUE(json) << js;
        return json.value_or("");
    }

    // Presses a real mouse button on the centre of the first element that `selector` finds.
    static void Press(const std::string& selector, int button) {
        const std::string json = Eval("(() => { const e = document.querySelector('" + selector +
                                      "'); e.scrollIntoView({block: 'center'}); const r = "
                                      "e.getBoundingClientRect(); return [Math.round(r.left + r.width / 2), "
                                      "Math.round(r.top + r.height / 2)]; })()");
        int x = 0, y = 0;
        ASSERT_EQ(std::sscanf(json.c_str(), "[%d,%d]", &x, &y), 2) << json;
        GtkWidget* view = s_engine->Widget();
        GtkWidget* toplevel = gtk_widget_get_toplevel(view);
        int tx = 0, ty = 0, ox = 0, oy = 0;
        ASSERT_TRUE(gtk_widget_translate_coordinates(view, toplevel, x, y, &tx, &ty));
        gdk_window_get_origin(gtk_widget_get_window(toplevel), &ox, &oy);
        harness::XDesktop::Click(ox + tx, oy + ty, button);
    }

    // Lets whatever a press set off arrive: a round trip to the web process and a pause.
    static void Settle() {
        Eval("1");
        RunFor(400ms);
        Eval("1");
    }

    static inline TempDir* s_dir = nullptr;
    static inline ItemStore* s_store = nullptr;
    static inline CPopupNewsWindow* s_popup = nullptr;
    static inline platform::HWND s_hWnd = nullptr;
    static inline WebWindow::WebKitEngine* s_engine = nullptr;  // owned by the popup
    static inline int s_shows = 0;
};

// ---- an item button marks its row read by the link as stored --------------------------------------

struct LinkForm {
    const char* name;
    const char* link;
};

struct ItemButton {
    const char* name;  // the button's name in the page
    bool buy;          // its link is msg_buyurl rather than msg_url
};

class ItemLinks : public LivePopup, public testing::WithParamInterface<std::tuple<LinkForm, ItemButton>> {};

// WebKit reports such a link in its own parsed form; the row must be found by the text it was stored as.
TEST_P(ItemLinks, PressMarksExactlyThatRowRead) {
    const auto& [form, button] = GetParam();
    FeedItem target = StoredItem("d2", "http://deals.test/detail/2", "http://shop.test/buy/2");
    (button.buy ? target.msg_buyurl : target.msg_url) = form.link;
    ASSERT_NO_FATAL_FAILURE(
        Show({StoredItem("d1", "http://deals.test/detail/1", "http://shop.test/buy/1"), target}));

    Press(std::string("#all_notify button[name=") + button.name + "]", 1);
    EXPECT_TRUE(SpinUntil([] { return ReadMarks(*s_store).at(0) == "1"; }, 5000ms))
        << "the pressed row stayed unread";
    Settle();
    EXPECT_EQ(ReadMarks(*s_store), (std::vector<std::string>{"1", "0"}));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ItemLinks,
    testing::Combine(testing::Values(LinkForm{"Plain", "http://deals.test/item/1"},
                                     LinkForm{"UpperCaseHost", "http://Deals.TEST/item/1"},
                                     LinkForm{"NoPath", "http://deals.test"},
                                     LinkForm{"DefaultPort", "http://deals.test:80/item/1"},
                                     LinkForm{"HttpsDefaultPort", "https://deals.test:443/item/1"},
                                     LinkForm{"Space", "http://deals.test/item 1?q=a b"},
                                     LinkForm{"ChineseInPathAndQuery",
                                              "http://deals.test/商品/1?名称=电饭煲"}),
                     testing::Values(ItemButton{"button_detail", false}, ItemButton{"button_buy", true})),
    [](const auto& row) {
        return std::string(std::get<0>(row.param).name) + "_" +
               (std::get<1>(row.param).buy ? "Buy" : "Detail");
    });

// ---- only the primary button acts ------------------------------------------------------------------

struct PressCase {
    const char* name;
    const char* selector;
    int button;
    std::vector<std::string> marks;  // the two rows' read marks afterwards; empty: both deleted
};

class PagePresses : public LivePopup, public testing::WithParamInterface<PressCase> {};

TEST_P(PagePresses, OnlyThePrimaryButtonActs) {
    ASSERT_NO_FATAL_FAILURE(
        Show({StoredItem("d1", "http://deals.test/1"), StoredItem("d2", "http://deals.test/2")}));
    Press(GetParam().selector, GetParam().button);
    SpinUntil([] { return ReadMarks(*s_store) == GetParam().marks; }, 3000ms);
    Settle();
    EXPECT_EQ(ReadMarks(*s_store), GetParam().marks);
    EXPECT_TRUE(platform::IsWindow(s_hWnd)) << "the popup closed";
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, PagePresses,
    testing::Values(PressCase{"RemoveAllSecondary", "#all_notify_remove", kSecondary, {"0", "0"}},
                    PressCase{"RemoveAllMiddle", "#all_notify_remove", kMiddle, {"0", "0"}},
                    PressCase{"MarkAllReadSecondary", "#all_notify_setread", kSecondary, {"0", "0"}},
                    PressCase{"CloseSecondary", "#button_close", kSecondary, {"0", "0"}},
                    PressCase{"CloseMiddle", "#button_close", kMiddle, {"0", "0"}},
                    PressCase{"DetailMiddle", "#all_notify button[name=button_detail]", kMiddle, {"0", "0"}},
                    PressCase{"MarkAllReadPrimary", "#all_notify_setread", 1, {"1", "1"}},
                    PressCase{"RemoveAllPrimary", "#all_notify_remove", 1, {}}),
    ByName);

// ---- what the page shows after any changes is what a full refresh shows ------------------------------

// The page's entries (title, date, link, badge) and its tab, and the same made from the store.
constexpr const char* kShownList = R"js((() => {
  const rows = [...document.querySelectorAll('#all_notify > .row-fluid')].map(r =>
      [r.querySelector('h4').textContent, r.querySelector('small').textContent,
       r.querySelector('[name=button_detail]').getAttribute('detail_url')].join('|') + '\n');
  return rows.join('') + document.getElementById('all_notify_tab').textContent;
})())js";

std::string FullRefreshShows(ItemStore& store) {
    std::string json = "\"";
    int unread = 0;
    const auto rows = store.ListItems().value_or(std::vector<FeedItem>{});
    for (const FeedItem& row : rows) {
        if (row.msg_top != "1") ++unread;
        json += (row.msg_top != "1" ? "新! " : "") + row.msg_title + "|" + row.msg_date + "|" + row.msg_url +
                "\\n";
    }
    return json + "所有提醒 (" + std::to_string(unread) + "/" + std::to_string(rows.size()) + ")\"";
}

struct Step {
    const char* name;
    std::function<void(ItemStore&, const std::string& dir)> change;
};

TEST_F(LivePopup, AfterAnySequenceOfChangesThePageShowsWhatAFullRefreshShows) {
    ASSERT_NO_FATAL_FAILURE(
        Show({StoredItem("d1", "http://deals.test/1"), StoredItem("d2", "http://deals.test/2")}));
    int next = 3;
    auto add = [&next](ItemStore& store, int count) {
        for (int i = 0; i < count; ++i, ++next) {
            FeedItem item =
                StoredItem("d" + std::to_string(next), "http://deals.test/" + std::to_string(next));
            item.msg_title = "t" + std::to_string(next);
            store.InsertItem(item);
        }
    };
    auto post = [](platform::UINT message) { platform::SendMessage(s_hWnd, message, 0, 0); };
    const Step steps[] = {
        {"new items", [&](ItemStore& store, auto&) { add(store, 3); }},
        {"a link read", [](ItemStore& store, auto&) { store.MarkReadByUrl("http://deals.test/4"); }},
        {"new items and a link read",
         [&](ItemStore& store, auto&) {
             add(store, 1);
             store.MarkReadByUrl("http://deals.test/2");
         }},
        {"mark all read", [&](ItemStore&, auto&) { post(WM_MARK_ALL_READ); }},
        {"a new item", [&](ItemStore& store, auto&) { add(store, 1); }},
        {"a row deleted by another connection",
         [](ItemStore&, const std::string& dir) {
             harness::RawDb(dir + "rcd").Exec("delete from items where msg_date='d4'");
         }},
        {"a row read by another connection",
         [](ItemStore&, const std::string& dir) {
             harness::RawDb(dir + "rcd").Exec("update items set msg_top='1' where msg_date='d8'");
         }},
        {"remove all", [&](ItemStore&, auto&) { post(WM_REMOVE_ALL); }},
        {"new items after removing", [&](ItemStore& store, auto&) { add(store, 2); }},
        {"a page reload", [](ItemStore&, auto&) { Eval("location.reload(), 1"); }},
        {"a link read after the reload",
         [](ItemStore& store, auto&) { store.MarkReadByUrl("http://deals.test/10"); }},
    };
    for (const Step& step : steps) {
        step.change(*s_store, s_dir->ModuleDir());
        const bool same = SpinUntil(
            [&] {
                platform::SendMessage(s_hWnd, platform::WM_TIMER, TIMER_REFRESH, 0);
                return Eval(kShownList) == FullRefreshShows(*s_store);
            },
            10000ms);
        EXPECT_TRUE(same) << step.name << "\nshown: " << Eval(kShownList)
                          << "\nwhole: " << FullRefreshShows(*s_store);
    }
}

}  // namespace
