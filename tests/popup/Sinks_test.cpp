#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PopupTestSupport.h"
#include "store/ItemStore.h"
#include "webhost/CAnchorEvent.h"
#include "webhost/CButtonEvent.h"
#include "webhost/CDocumentEvents.h"
#include "webhost/CSendComplteHandler.h"
#include "webhost/CWebBrowserEvents2.h"
#include "webhost/PopupMessages.h"

namespace {

using namespace std::chrono_literals;

using namespace popup_test;
using WebWindow::CSendComplteHandler;
using WebWindow::EventArgs;

constexpr platform::UINT kShow = platform::WM_SHOWWINDOW;
// An identifier no sink acts on.
constexpr int kOtherEvent = WebWindow::DISPID_PROGRESSCHANGE;

class SinkTest : public testing::Test {
  protected:
    RecordingWindow popup;
};

// ---- the browser sink ----

class BrowserSinkTest : public SinkTest {
  protected:
    BrowserSinkTest()
        : store(dir.ModuleDir()),
          handler(popup.hWnd, WM_POPUP_DOCUMENT_COMPLETE),
          sink(
              popup.hWnd,
              [this](const std::string& utf8Url, const std::string& ansiUrl) {
                  store.MarkReadByUrl(utf8Url, ansiUrl);
              },
              [this](const std::string& url) { opened.push_back(url); }) {
        sink.AddHandler(&handler);
    }

    std::vector<FeedItem> Rows() { return store.ListItems().value_or(std::vector<FeedItem>{}); }

    TempDir dir;
    ItemStore store;
    CSendComplteHandler handler;
    WebWindow::CWebBrowserEvents2<CSendComplteHandler> sink;
    std::vector<std::string> opened;
};

struct BrowserEventCase {
    const char* name;
    int dispid;
    std::vector<platform::UINT> posted;
};

class BrowserSinkDispatch : public BrowserSinkTest, public testing::WithParamInterface<BrowserEventCase> {};

TEST_P(BrowserSinkDispatch, PostsActivityFirstThenTheEventsOwnMessage) {
    sink.Invoke(GetParam().dispid, EventArgs{u"http://127.0.0.1/item", {}});
    EXPECT_TRUE(popup.messages.empty()) << "the browser sink only posts";
    Drain();
    EXPECT_EQ(popup.Numbers(), GetParam().posted);
}

INSTANTIATE_TEST_SUITE_P(
    EventIds, BrowserSinkDispatch,
    testing::Values(
        BrowserEventCase{"DocumentComplete",
                         WebWindow::DISPID_DOCUMENTCOMPLETE,
                         {WM_BROWSER_ACTIVITY, WM_POPUP_DOCUMENT_COMPLETE}},
        BrowserEventCase{"NewWindow", WebWindow::DISPID_NEWWINDOW3, {WM_BROWSER_ACTIVITY, kShow}},
        BrowserEventCase{"BeforeNavigate", WebWindow::DISPID_BEFORENAVIGATE2, {WM_BROWSER_ACTIVITY}},
        BrowserEventCase{"StatusText", WebWindow::DISPID_STATUSTEXTCHANGE, {WM_BROWSER_ACTIVITY}},
        BrowserEventCase{"Progress", WebWindow::DISPID_PROGRESSCHANGE, {WM_BROWSER_ACTIVITY}},
        BrowserEventCase{"Title", WebWindow::DISPID_TITLECHANGE, {WM_BROWSER_ACTIVITY}},
        BrowserEventCase{"NavigateError", WebWindow::DISPID_NAVIGATEERROR, {WM_BROWSER_ACTIVITY}},
        BrowserEventCase{"MouseDownIsNotOurs", WebWindow::DISPID_MOUSEDOWN, {WM_BROWSER_ACTIVITY}}),
    ByName);

TEST_F(BrowserSinkTest, DocumentCompleteNotifiesEveryHandlerInOrder) {
    RecordingWindow second;
    CSendComplteHandler other(second.hWnd, 4242);
    sink.AddHandler(&other);
    sink.Invoke(WebWindow::DISPID_DOCUMENTCOMPLETE, {});
    Drain();
    EXPECT_EQ(popup.Numbers(),
              (std::vector<platform::UINT>{WM_BROWSER_ACTIVITY, WM_POPUP_DOCUMENT_COMPLETE}));
    EXPECT_EQ(second.Numbers(), std::vector<platform::UINT>{4242});
}

// The rows are found by the page's text of the link; the desktop gets the engine's parsed form.
TEST_F(BrowserSinkTest, NewWindowMarksEveryRowWithThatLinkReadAndOpensIt) {
    ASSERT_TRUE(store.InsertItem(StoredItem("d1", "http://127.0.0.1:80/a")));
    ASSERT_TRUE(store.InsertItem(StoredItem("d2", "http://127.0.0.1/b", "http://127.0.0.1:80/a")));
    ASSERT_TRUE(store.InsertItem(StoredItem("d3", "http://127.0.0.1/a")));
    sink.Invoke(WebWindow::DISPID_NEWWINDOW3, EventArgs{u"http://127.0.0.1/a", u"http://127.0.0.1:80/a"});
    std::vector<std::string> marks;
    for (const FeedItem& row : Rows()) marks.push_back(row.msg_date + "=" + row.msg_top);
    EXPECT_EQ(marks, (std::vector<std::string>{"d3=0", "d2=1", "d1=1"}));
    EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1/a"});
}

struct LinkCase {
    const char* name;
    std::u16string url;
    bool opened;
    bool marked;  // an empty target marks nothing
};

class NewWindowLinks : public BrowserSinkTest, public testing::WithParamInterface<LinkCase> {};

TEST_P(NewWindowLinks, OnlyWebLinksLeaveThePopupButEveryGivenLinkIsMarkedRead) {
    const LinkCase& c = GetParam();
    g_autofree gchar* utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(c.url.data()),
                                             static_cast<glong>(c.url.size()), nullptr, nullptr, nullptr);
    ASSERT_TRUE(store.InsertItem(StoredItem("d1", utf8)));
    sink.Invoke(WebWindow::DISPID_NEWWINDOW3, EventArgs{c.url, {}});
    Drain();
    EXPECT_EQ(popup.Numbers(), (std::vector<platform::UINT>{WM_BROWSER_ACTIVITY, kShow}));
    ASSERT_EQ(Rows().size(), 1u);
    EXPECT_EQ(Rows()[0].msg_top, c.marked ? "1" : "0");
    EXPECT_EQ(opened, c.opened ? std::vector<std::string>{utf8} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Schemes, NewWindowLinks,
                         testing::Values(LinkCase{"Http", u"http://127.0.0.1/item?id=1", true, true},
                                         LinkCase{"HttpsUpperCase", u"HTTPS://127.0.0.1/x", true, true},
                                         LinkCase{"Javascript", u"javascript:alert(1)", false, true},
                                         LinkCase{"File", u"file:///etc/passwd", false, true},
                                         LinkCase{"Data", u"data:text/html,hi", false, true},
                                         LinkCase{"HttpWithoutHost", u"http:relative", false, true},
                                         LinkCase{"NoScheme", u"/relative/path", false, true},
                                         LinkCase{"Empty", u"", false, false}),
                         ByName);

// ---- the document and element sinks ----

TEST_F(SinkTest, DocumentSinkSwallowsTheFirstFocusOutOnly) {
    WebWindow::CDocumentEvents sink(popup.hWnd, WM_POPUP_FOCUS_LOST);
    sink.Invoke(kOtherEvent, {});
    EXPECT_FALSE(sink.m_bArmed) << "only a focus-out arms it";
    sink.Invoke(WebWindow::DISPID_FOCUSOUT, {});
    Drain();
    EXPECT_TRUE(popup.messages.empty());
    sink.Invoke(WebWindow::DISPID_FOCUSOUT, {});
    sink.Invoke(WebWindow::DISPID_MOUSEDOWN, {});
    sink.Invoke(WebWindow::DISPID_FOCUSOUT, {});
    Drain();
    EXPECT_EQ(popup.Numbers(), (std::vector<platform::UINT>{WM_POPUP_FOCUS_LOST, WM_POPUP_FOCUS_LOST}));
}

struct ElementCase {
    const char* name;
    int kind;  // 0: the close anchor
    int dispid;
    std::vector<platform::UINT> sentAtOnce;
    std::vector<platform::UINT> afterLoop;
};

class ElementSinkDispatch : public SinkTest, public testing::WithParamInterface<ElementCase> {};

TEST_P(ElementSinkDispatch, ActsOnMouseDownOnly) {
    const ElementCase& c = GetParam();
    std::unique_ptr<WebWindow::IEventSink> sink;
    if (c.kind == 0) {
        sink = std::make_unique<CAnchorEvent>(popup.hWnd);
    } else {
        sink = std::make_unique<CButtonEvent>(popup.hWnd, c.kind);
    }
    sink->Invoke(c.dispid, {});
    EXPECT_EQ(popup.Numbers(), c.sentAtOnce);
    Drain();
    EXPECT_EQ(popup.Numbers(), c.afterLoop);
}

constexpr int kClick = -600;

INSTANTIATE_TEST_SUITE_P(
    Kinds, ElementSinkDispatch,
    testing::Values(
        ElementCase{
            "MarkAllReadIsSent", 1, WebWindow::DISPID_MOUSEDOWN, {WM_MARK_ALL_READ}, {WM_MARK_ALL_READ}},
        ElementCase{"RemoveAllIsSent", 2, WebWindow::DISPID_MOUSEDOWN, {WM_REMOVE_ALL}, {WM_REMOVE_ALL}},
        ElementCase{"UnknownKindDoesNothing", 3, WebWindow::DISPID_MOUSEDOWN, {}, {}},
        ElementCase{"ButtonIgnoresClick", 1, kClick, {}, {}},
        ElementCase{"ButtonIgnoresFocusOut", 2, WebWindow::DISPID_FOCUSOUT, {}, {}},
        ElementCase{"CloseIsPosted", 0, WebWindow::DISPID_MOUSEDOWN, {}, {WM_CLOSE_POPUP}},
        ElementCase{"CloseIgnoresClick", 0, kClick, {}, {}}),
    ByName);

}  // namespace
