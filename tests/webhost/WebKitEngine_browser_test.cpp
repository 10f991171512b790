#include "webhost/WebKitEngine.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <httplib.h>

#include "platform/Unicode.h"
#include "platform/WindowManager.h"
#include "tools/harness/Command.h"
#include "tools/harness/MainLoop.h"
#include "tools/harness/desktop/PageScript.h"
#include "tests/webhost/TestResources.h"
#include "webhost/GtkStartup.h"
#include "webhost/ResourceScheme.h"

using namespace WebWindow;

// Leaks inside the desktop libraries the engine starts (session bus connection, font cache, the
// JavaScript engine's process-wide tables), reported at exit in sanitizer builds.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\nleak:libjavascriptcoregtk-4.1.so\n";
}

namespace {

using namespace std::chrono_literals;

constexpr const char* kExePath = "/opt/deals notifier/应用 程序/notifier";
constexpr platform::Rect kViewRect{1, 1, 514, 579};

struct Event {
    int dispid;
    std::u16string url;
};

class RecordingSink : public IEventSink {
  public:
    void Invoke(int dispid, const EventArgs& args) override { events.push_back({dispid, args.url}); }
    int Count(int dispid) const {
        return static_cast<int>(std::ranges::count(events, dispid, &Event::dispid));
    }
    std::vector<std::u16string> Urls(int dispid) const {
        std::vector<std::u16string> urls;
        for (const Event& e : events)
            if (e.dispid == dispid) urls.push_back(e.url);
        return urls;
    }
    std::vector<Event> events;
};

struct HostWindow : platform::CMessageMap {
    bool ProcessWindowMessage(platform::HWND, platform::UINT, platform::WPARAM, platform::LPARAM,
                              platform::LRESULT&, uint32_t) override {
        return false;
    }
};

// One toplevel with a GtkFixed for the whole suite, as the popup provides; a fresh engine per test.
class WebKitEngineBrowserTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static bool started = [] {
            int argc = 0;
            char** argv = nullptr;
            return StartGtk(&argc, &argv);
        }();
        ASSERT_TRUE(started) << "needs an X display (run under xvfb-run)";
        s_toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_decorated(GTK_WINDOW(s_toplevel), FALSE);
        gtk_window_set_default_size(GTK_WINDOW(s_toplevel), 515, 580);
        gtk_window_move(GTK_WINDOW(s_toplevel), 40, 30);
        s_fixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(s_toplevel), s_fixed);
        gtk_widget_show_all(s_toplevel);
        s_host = platform::CreateWindow(&s_hostObject);
        platform::SetNativeWidget(s_host, s_fixed);
    }

    static void TearDownTestSuite() {
        platform::DestroyWindow(s_host);
        if (s_toplevel != nullptr) gtk_widget_destroy(s_toplevel);
        s_toplevel = nullptr;
    }

    void TearDown() override {
        if (m_engine) m_engine->Close();
        m_engine.reset();
        Settle(50);
    }

    void Start(const std::string& exePath = kExePath) {
        m_engine = std::make_unique<WebKitEngine>(TestResources(), kTestResourcePrefix, exePath);
        ASSERT_TRUE(m_engine->Create(s_host, kViewRect));
        m_engine->Show(true);
        m_browserCookie = m_engine->Advise(EventSource::Browser, "", &m_browser);
        ASSERT_NE(m_browserCookie, 0u);
    }

    void Load(const std::string& exePath = kExePath) {
        Start(exePath);
        m_engine->Navigate(PageUrl(exePath));
        ASSERT_TRUE(RunUntil([&] { return m_browser.Count(DISPID_DOCUMENTCOMPLETE) > 0; }));
        ASSERT_TRUE(m_engine->HasDocument());
    }

    // Iterates the loop (tests may; the product never does) until `done` or the time limit.
    static bool RunUntil(const std::function<bool()>& done) { return harness::SpinUntil(done, 15s); }
    static void Settle(int ms) { harness::RunFor(std::chrono::milliseconds(ms)); }

    std::string Eval(const std::string& js) {
        const std::optional<std::string> json = harness::EvaluateJson(m_engine->Widget(), js);
        EXPECT_TRUE(json) << js;
        return json.value_or("");
    }

    // Waits for a page promise whose value the page stores in window.__answer.
    std::string Await(const std::string& promiseJs) {
        Eval("window.__answer = undefined; (" + promiseJs +
             ").then(v => window.__answer = v, e => window.__answer = 'error');");
        std::string answer;
        RunUntil([&] {
            answer = Eval("window.__answer === undefined ? null : window.__answer");
            return answer != "null";
        });
        return answer;
    }

    // Presses a real mouse button on the element through the X server.
    void Click(const std::string& elementId, int button = 1) {
        const std::string json = Eval("(() => { const r = document.getElementById('" + elementId +
                                      "').getBoundingClientRect(); return [Math.round(r.left + r.width / 2), "
                                      "Math.round(r.top + r.height / 2)]; })()");
        int x = 0, y = 0;
        ASSERT_EQ(sscanf(json.c_str(), "[%d,%d]", &x, &y), 2) << json;
        int tx = 0, ty = 0, ox = 0, oy = 0;
        ASSERT_TRUE(gtk_widget_translate_coordinates(m_engine->Widget(), s_toplevel, x, y, &tx, &ty));
        gdk_window_get_origin(gtk_widget_get_window(s_toplevel), &ox, &oy);
        const harness::CommandResult click =
            harness::RunCommand({"xdotool", "mousemove", std::to_string(ox + tx), std::to_string(oy + ty),
                                 "click", std::to_string(button)});
        ASSERT_EQ(click.exitCode, 0) << click.err;
    }

    // Lets everything the page may still send arrive: two round trips to the web process and a pause.
    void Drain() {
        Eval("1");
        Settle(300);
        Eval("1");
    }

    static inline GtkWidget* s_toplevel = nullptr;
    static inline GtkWidget* s_fixed = nullptr;
    static inline HostWindow s_hostObject;
    static inline platform::HWND s_host = nullptr;

    std::unique_ptr<WebKitEngine> m_engine;
    RecordingSink m_browser;
    uint32_t m_browserCookie = 0;
};

TEST_F(WebKitEngineBrowserTest, PageAndItsFilesComeFromTheBundle) {
    Load();
    ASSERT_TRUE(RunUntil([&] { return Eval("window.frameLoaded === true") == "true"; }));
    EXPECT_EQ(Eval("document.title"), "\"测试页\"");
    EXPECT_EQ(Eval("window.pageScriptRan"), "true");                                     // /js/page.js
    EXPECT_EQ(Eval("getComputedStyle(heading).color"), "\"rgb(1, 2, 3)\"");              // /CSS/Site.css
    EXPECT_EQ(Eval("imageResults.logo + imageResults.relative + imageResults.missing"),  // 134, pelmo128, 404
              "\"loadloaderror\"");
    EXPECT_EQ(Await("fetch('/png/134').then(r => r.blob()).then(b => b.type)"), "\"image/png\"");
    EXPECT_EQ(Await("fetch('frame.html').then(r => r.headers.get('content-type'))"),
              "\"text/html; charset=utf-8\"");
    EXPECT_EQ(Eval("document.contentType + ' ' + document.characterSet"), "\"text/html UTF-8\"");
    EXPECT_EQ(Await("fetch('/23/nothing.html').then(r => 'status ' + r.status)"), "\"error\"");
}

class PageUrlBrowserTest : public WebKitEngineBrowserTest,
                           public ::testing::WithParamInterface<const char*> {};

TEST_P(PageUrlBrowserTest, PageLoadsWhateverTheExecutablePath) {
    Load(GetParam());
    EXPECT_EQ(Eval("document.title"), "\"测试页\"");
    EXPECT_EQ(Eval("imageResults.relative"), "\"load\"");
}

INSTANTIATE_TEST_SUITE_P(Paths, PageUrlBrowserTest,
                         ::testing::Values("/usr/bin/notifier", "/home/user/my apps/deals notifier",
                                           "/home/用户/应用 程序/提醒", "/tmp/odd#name%20x/n"));

TEST_F(WebKitEngineBrowserTest, DocumentCompletesOnceAndNothingBeforeItCounts) {
    Load();
    ASSERT_TRUE(RunUntil([&] { return Eval("window.frameLoaded === true") == "true"; }));
    Drain();
    EXPECT_EQ(m_browser.Count(DISPID_DOCUMENTCOMPLETE), 1);  // the frame's load is not a completion
    ASSERT_FALSE(m_browser.events.empty());
    EXPECT_EQ(m_browser.events.front().dispid, DISPID_DOCUMENTCOMPLETE);

    // After the first completion every signal is activity.
    const size_t before = m_browser.events.size();
    Eval("document.title = 'changed'");
    ASSERT_TRUE(RunUntil([&] { return m_browser.Count(DISPID_TITLECHANGE) > 0; }));
    EXPECT_GT(m_browser.events.size(), before);
}

TEST_F(WebKitEngineBrowserTest, MissingPageIsNoDocument) {
    Start();
    m_engine->Navigate("res:///opt/x/23/nothing.html");
    ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(WEBKIT_WEB_VIEW(m_engine->Widget())); }));
    Drain();
    EXPECT_EQ(m_browser.Count(DISPID_DOCUMENTCOMPLETE), 0);
    EXPECT_FALSE(m_engine->HasDocument());
    EXPECT_EQ(Eval("document.body ? document.body.innerText.length : 0"), "0");  // no error page of WebKit's
}

TEST_F(WebKitEngineBrowserTest, RunScriptsAnswersOneFlagPerTextAfterLoadAndFailsAtOnceBefore) {
    Start();
    m_engine->Navigate(PageUrl(kExePath));
    std::vector<bool> early;
    bool earlyAnswered = false;
    m_engine->RunScripts({"window.early = 1", "2"}, [&](std::vector<bool> flags) {
        early = std::move(flags);
        earlyAnswered = true;
    });
    EXPECT_TRUE(earlyAnswered);  // before returning, without a loop iteration
    EXPECT_EQ(early, (std::vector<bool>{false, false}));
    ASSERT_TRUE(RunUntil([&] { return m_engine->HasDocument(); }));

    std::vector<bool> flags;
    bool answered = false;
    m_engine->RunScripts({"window.order = []", "order.push('a')", "throw new Error('x')", "syntax error (",
                          "order.push('b\\u2028\"')", "undefinedCall()", "order.push(document.title)"},
                         [&](std::vector<bool> f) {
                             flags = std::move(f);
                             answered = true;
                         });
    EXPECT_FALSE(answered);  // WebKit answers later, from the loop
    ASSERT_TRUE(RunUntil([&] { return answered; }));
    EXPECT_EQ(flags, (std::vector<bool>{true, true, false, false, true, false, true}));
    EXPECT_EQ(Eval("order"), "[\"a\",\"b\xE2\x80\xA8\\\"\",\"测试页\"]");
    EXPECT_EQ(Eval("typeof window.early"), "\"undefined\"");
}

TEST_F(WebKitEngineBrowserTest, NoScriptAnswerAfterClose) {
    Load();
    bool answered = false;
    m_engine->RunScripts({"1"}, [&](std::vector<bool>) { answered = true; });
    m_engine->Close();
    Settle(300);
    EXPECT_FALSE(answered);
    EXPECT_EQ(m_engine->Widget(), nullptr);
}

TEST_F(WebKitEngineBrowserTest, RealMouseDownReachesAdvisedElementsAndForgedOnesDoNot) {
    Load();
    RecordingSink setRead, close;
    ASSERT_NE(m_engine->Advise(EventSource::Element, "all_notify_setread", &setRead), 0u);
    ASSERT_NE(m_engine->Advise(EventSource::Element, "button_close", &close), 0u);
    EXPECT_EQ(m_engine->Advise(EventSource::Element, "no_such_id", &close), 0u);
    EXPECT_EQ(m_engine->Advise(EventSource::Element, "frame_button", &close), 0u);  // inside the frame

    Eval(
        "for (const id of ['all_notify_setread', 'setread_icon', 'button_close']) {"
        "  document.getElementById(id).dispatchEvent(new MouseEvent('mousedown', {bubbles: true}));"
        "}");
    EXPECT_EQ(Eval("[window.pageCouldPost, window.frameCouldPost === true]"), "[false,false]");
    Drain();
    EXPECT_EQ(setRead.events.size(), 0u);
    EXPECT_EQ(close.events.size(), 0u);

    Click("setread_icon");  // a child of the advised button
    ASSERT_TRUE(RunUntil([&] { return !setRead.events.empty(); }));
    Drain();
    ASSERT_EQ(setRead.events.size(), 1u);
    EXPECT_EQ(setRead.events[0].dispid, DISPID_MOUSEDOWN);
    EXPECT_EQ(close.events.size(), 0u);

    Click("button_close");
    ASSERT_TRUE(RunUntil([&] { return !close.events.empty(); }));
    Drain();
    EXPECT_EQ(close.events.size(), 1u);
    EXPECT_EQ(setRead.events.size(), 1u);
}

TEST_F(WebKitEngineBrowserTest, UnadvisedElementHearsNothing) {
    Load();
    RecordingSink setRead;
    const uint32_t cookie = m_engine->Advise(EventSource::Element, "all_notify_setread", &setRead);
    EXPECT_TRUE(m_engine->Unadvise(EventSource::Element, cookie));
    Click("all_notify_setread");
    Drain();
    EXPECT_TRUE(setRead.events.empty());
}

TEST_F(WebKitEngineBrowserTest, FocusLeavingTheDocumentReachesDocumentSinks) {
    Load();
    RecordingSink document;
    ASSERT_NE(m_engine->Advise(EventSource::Document, "", &document), 0u);
    gtk_window_present(GTK_WINDOW(s_toplevel));
    Click("field");
    ASSERT_TRUE(RunUntil([&] { return Eval("document.activeElement.id") == "\"field\""; }));
    Click("heading");
    ASSERT_TRUE(RunUntil([&] { return document.Count(DISPID_FOCUSOUT) > 0; }));
}

struct NewWindowCase {
    const char* elementId;
    const char* url;
};

class NewWindowBrowserTest : public WebKitEngineBrowserTest,
                             public ::testing::WithParamInterface<NewWindowCase> {};

// window.open, target=_blank and a same-window link all end as one new-window event with the URL, and
// the view stays on its page.
TEST_P(NewWindowBrowserTest, ClickReachesNewWindowOnceWithItsUrl) {
    Load();
    Click(GetParam().elementId);
    ASSERT_TRUE(RunUntil([&] { return m_browser.Count(DISPID_NEWWINDOW3) > 0; }));
    Drain();
    EXPECT_EQ(m_browser.Urls(DISPID_NEWWINDOW3),
              std::vector<std::u16string>{platform::Utf8ToUtf16(GetParam().url)});
    EXPECT_TRUE(m_engine->HasDocument());
    EXPECT_EQ(Eval("document.title"), "\"测试页\"");
    EXPECT_EQ(m_browser.Count(DISPID_DOCUMENTCOMPLETE), 1);
}

INSTANTIATE_TEST_SUITE_P(Links, NewWindowBrowserTest,
                         ::testing::Values(NewWindowCase{"open_item",
                                                         "http://127.0.0.1:8123/item?id=1&t=%E4%B8%AD"},
                                           NewWindowCase{"blank_link", "http://127.0.0.1:8123/blank"},
                                           NewWindowCase{"away_link", "http://127.0.0.1:8123/away"}));

TEST_F(WebKitEngineBrowserTest, PageCannotOpenOrLeaveWithoutTheUser) {
    Start();
    m_engine->Navigate(PageUrl(kExePath) + "#auto");
    ASSERT_TRUE(RunUntil([&] { return m_engine->HasDocument(); }));
    ASSERT_TRUE(RunUntil([&] { return Eval("window.autoDone === true") == "true"; }));
    Drain();
    EXPECT_EQ(m_browser.Count(DISPID_NEWWINDOW3), 0);
    EXPECT_TRUE(m_engine->HasDocument());
    EXPECT_EQ(Eval("document.title"), "\"测试页\"");
}

TEST_F(WebKitEngineBrowserTest, ContainerAnswers) {
    Load();
    EXPECT_EQ(Eval("typeof window.external + ',' + typeof window.webkit"), "\"undefined,undefined\"");
    EXPECT_EQ(Eval("confirm('sure?')"), "false");  // no dialog: answered at once
    EXPECT_EQ(Eval("alert('x'); prompt('y'); 'went on'"), "\"went on\"");

    // A right click raises the page's contextmenu event, and the view shows no menu of its own.
    bool reachedAfterSite = false;
    const gulong probe = g_signal_connect(m_engine->Widget(), "context-menu",
                                          G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                                         WebKitHitTestResult*, gpointer flag) -> gboolean {
                                              *static_cast<bool*>(flag) = true;
                                              return FALSE;
                                          }),
                                          &reachedAfterSite);
    Eval("window.menus = 0; document.addEventListener('contextmenu', () => window.menus++); 1");
    Click("heading", 3);
    ASSERT_TRUE(RunUntil([&] { return Eval("window.menus") == "1"; }));
    Drain();
    EXPECT_FALSE(reachedAfterSite);
    int popups = 0;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* l = toplevels; l != nullptr; l = l->next) {
        auto* window = GTK_WINDOW(l->data);
        if (gtk_widget_get_visible(GTK_WIDGET(window)) &&
            gtk_window_get_window_type(window) == GTK_WINDOW_POPUP) {
            ++popups;
        }
    }
    g_list_free(toplevels);
    EXPECT_EQ(popups, 0);
    g_signal_handler_disconnect(m_engine->Widget(), probe);
}

// A page of another origin gets no host script: its ids cannot be advised and its events never come.
TEST_F(WebKitEngineBrowserTest, RemotePageCannotDriveTheHost) {
    httplib::Server server;
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            "<!DOCTYPE html><title>remote</title><button id='all_notify_setread' "
            "style='width:200px;height:40px'>"
            "x</button><input id='field'><script>try { "
            "window.webkit.messageHandlers.notifierHost.postMessage("
            "{type: 'mousedown', ids: ['all_notify_setread']}); window.posted = true; } catch (e) { "
            "window.posted "
            "= false; }</script>",
            "text/html");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { server.listen_after_bind(); });

    Start();
    m_engine->Navigate("http://127.0.0.1:" + std::to_string(port) + "/");
    const bool loaded = RunUntil([&] { return m_browser.Count(DISPID_DOCUMENTCOMPLETE) > 0; });
    if (loaded) {
        RecordingSink document;
        EXPECT_EQ(Eval("window.posted"), "false");
        EXPECT_EQ(m_engine->Advise(EventSource::Element, "all_notify_setread", &document), 0u);
        ASSERT_NE(m_engine->Advise(EventSource::Document, "", &document), 0u);
        Click("field");
        Click("all_notify_setread");
        Drain();
        EXPECT_TRUE(document.events.empty());
    }
    server.stop();
    serving.join();
    ASSERT_TRUE(loaded);
}

TEST_F(WebKitEngineBrowserTest, ScreenshotOfThePage) {
    Load();
    ASSERT_TRUE(RunUntil([&] { return Eval("window.frameLoaded === true") == "true"; }));
    Settle(300);
    const std::string path = std::string(WEBHOST_TEST_OUTPUT_DIR) + "/webhost-page.png";
    g_remove(path.c_str());
    const harness::CommandResult shot = harness::RunCommand({"import", "-window", "root", path});
    EXPECT_EQ(shot.exitCode, 0) << shot.err;
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_GT(info.st_size, 1000);
}

}  // namespace
