#include "webhost/WebKitEngine.h"

#include <utility>

#include "platform/DebugLog.h"
#include "platform/Unicode.h"
#include "platform/WindowManager.h"
#include "webhost/ScriptBatch.h"

namespace WebWindow {
namespace {

std::string WithoutFragment(const char* uri) {
    if (uri == nullptr) return {};
    std::string text = uri;
    if (const auto hash = text.find('#'); hash != std::string::npos) text.erase(hash);
    return text;
}

std::u16string ToUtf16(const char* utf8) {
    return utf8 == nullptr ? std::u16string() : platform::Utf8ToUtf16(utf8);
}

// At `rc` in a fixed container (the popup's); any other container gets the view as its child.
void Place(GtkWidget* view, GtkWidget* container, const platform::Rect& rc) {
    gtk_widget_set_size_request(view, rc.right - rc.left, rc.bottom - rc.top);
    if (GTK_IS_FIXED(container)) {
        gtk_fixed_put(GTK_FIXED(container), view, rc.left, rc.top);
    } else {
        gtk_container_add(GTK_CONTAINER(container), view);
    }
}

// An ephemeral context whose web process measures its own memory every 10 minutes instead of every
// 30 s: each measurement reads the whole /proc/self/smaps (~1 MB, ~30 ms of CPU), and one local page
// that never navigates does not grow faster than that.
WebKitWebContext* NewWebContext() {
    constexpr double kMemoryPollSeconds = 600;
    g_autoptr(WebKitWebsiteDataManager) data = webkit_website_data_manager_new_ephemeral();
    g_autoptr(WebKitMemoryPressureSettings) memory = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_poll_interval(memory, kMemoryPollSeconds);
    return WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data,
                                           "memory-pressure-settings", memory, nullptr));
}

}  // namespace

WebKitEngine::WebKitEngine(GResource* resources, std::string resourcePrefix, std::string exePath,
                           ResourceScheme::Overrides overrides)
    : m_scheme(resources, std::move(resourcePrefix), std::move(exePath), std::move(overrides)) {}

WebKitEngine::~WebKitEngine() { Close(); }

bool WebKitEngine::Create(platform::HWND parent, const platform::Rect& rc) {
    if (m_view) return false;
    auto* container = static_cast<GtkWidget*>(platform::GetNativeWidget(parent));
    if (container == nullptr || !GTK_IS_CONTAINER(container)) return false;

    m_context.reset(NewWebContext());
    m_scheme.Register(m_context.get());
    PageChannel::Listener& listener = *this;
    m_channel = std::make_unique<PageChannel>(listener);
    g_autoptr(WebKitSettings) settings = webkit_settings_new();
    CBrowserSite::ApplySettings(settings);
    m_view.reset(WEBKIT_WEB_VIEW(g_object_ref_sink(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", m_context.get(), "user-content-manager",
                     m_channel->ContentManager(), "settings", settings, nullptr))));
    m_site = std::make_unique<CBrowserSite>(m_view.get());
    ConnectSignals();
    m_lifetime.reset(g_cancellable_new());
    Place(GTK_WIDGET(m_view.get()), container, rc);
    return true;
}

void WebKitEngine::ConnectSignals() {
    WebKitWebView* view = m_view.get();
    g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), this);
    g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(view, "create", G_CALLBACK(OnCreate), this);
    g_signal_connect(view, "notify::title", G_CALLBACK(OnTitle), this);
    g_signal_connect(view, "notify::estimated-load-progress", G_CALLBACK(OnProgress), this);
    g_signal_connect(view, "mouse-target-changed", G_CALLBACK(OnMouseTarget), this);
}

void WebKitEngine::Navigate(const std::string& url) {
    if (!m_view) return;
    m_pageUrl = WithoutFragment(url.c_str());
    m_hasDocument = false;
    webkit_web_view_load_uri(m_view.get(), url.c_str());
}

void WebKitEngine::Show(bool visible) {
    if (m_view) gtk_widget_set_visible(GTK_WIDGET(m_view.get()), visible);
}

bool WebKitEngine::HasDocument() const { return m_view && m_hasDocument; }

uint32_t WebKitEngine::Advise(EventSource source, const std::string& elementId, IEventSink* sink) {
    if (sink == nullptr) return 0;
    if (source != EventSource::Browser && !HasDocument()) return 0;
    if (source == EventSource::Element && !m_elementIds.contains(elementId)) return 0;
    const uint32_t cookie = m_nextCookie++;
    m_connections.emplace(cookie, Connection{source, source == EventSource::Element ? elementId : "", sink});
    return cookie;
}

bool WebKitEngine::Unadvise(EventSource source, uint32_t cookie) {
    const auto it = m_connections.find(cookie);
    if (it == m_connections.end() || it->second.source != source) return false;
    m_connections.erase(it);
    return true;
}

void WebKitEngine::RunScripts(std::vector<std::string> texts, ScriptDone done) {
    if (!HasDocument() || texts.empty()) {
        done(std::vector<bool>(texts.size(), false));
        return;
    }
    ScriptBatch::Run(m_view.get(), texts, m_lifetime.get(), std::move(done));
}

void WebKitEngine::Close() {
    m_connections.clear();
    m_hasDocument = false;
    m_elementIds.clear();
    m_pageLinks.clear();
    if (m_lifetime) g_cancellable_cancel(m_lifetime.get());
    m_lifetime.reset();
    m_site.reset();
    m_channel.reset();
    if (m_view) {
        g_signal_handlers_disconnect_by_data(m_view.get(), this);
        gtk_widget_destroy(GTK_WIDGET(m_view.get()));  // leaves its container
        m_view.reset();
    }
    m_context.reset();
}

void WebKitEngine::Fire(EventSource source, int dispid, const EventArgs& args) {
    std::vector<uint32_t> cookies;
    for (const auto& [cookie, connection] : m_connections) {
        if (connection.source == source) cookies.push_back(cookie);
    }
    Deliver(cookies, dispid, args);
}

// A sink may unadvise others, close the engine or destroy it while it runs: each delivery looks its
// connection up again, and none follows once the engine's lifetime is over.
void WebKitEngine::Deliver(const std::vector<uint32_t>& cookies, int dispid, const EventArgs& args) {
    if (!m_lifetime) return;
    const platform::GObjectPtr<GCancellable> lifetime(G_CANCELLABLE(g_object_ref(m_lifetime.get())));
    for (uint32_t cookie : cookies) {
        const auto it = m_connections.find(cookie);
        if (it == m_connections.end()) continue;
        it->second.sink->Invoke(dispid, args);
        if (g_cancellable_is_cancelled(lifetime.get())) return;
    }
}

void WebKitEngine::FireBrowser(int dispid, const EventArgs& args) {
    if (!m_firstCompleteSeen && dispid != DISPID_DOCUMENTCOMPLETE && dispid != DISPID_NEWWINDOW3) return;
    Fire(EventSource::Browser, dispid, args);
}

bool WebKitEngine::ShowsPage() const {
    return m_view && !m_pageUrl.empty() &&
           WithoutFragment(webkit_web_view_get_uri(m_view.get())) == m_pageUrl;
}

void WebKitEngine::ReportNewWindow(const char* uri) {
    EventArgs args;
    args.url = ToUtf16(uri);
    if (uri != nullptr) {
        if (const auto it = m_pageLinks.find(uri); it != m_pageLinks.end())
            args.link = ToUtf16(it->second.c_str());
    }
    FireBrowser(DISPID_NEWWINDOW3, args);
}

// The page reports a link just before it opens it; a few are plenty, and the page's own links never
// change their parsed form, so a full table is simply started again.
void WebKitEngine::RememberLink(const std::string& href, const std::string& raw) {
    constexpr size_t kMaxLinks = 64;
    if (href.empty()) return;
    if (m_pageLinks.size() >= kMaxLinks && !m_pageLinks.contains(href)) m_pageLinks.clear();
    m_pageLinks[href] = raw;
}

void WebKitEngine::OnPageMessage(const PageMessage& message) {
    if (!ShowsPage()) return;
    switch (message.kind) {
        case PageMessage::Kind::Ids:
            m_elementIds = std::set<std::string>(message.ids.begin(), message.ids.end());
            break;
        case PageMessage::Kind::MouseDown:
            OnMouseDown(message.ids);
            break;
        case PageMessage::Kind::FocusOut:
            Fire(EventSource::Document, DISPID_FOCUSOUT);
            break;
        case PageMessage::Kind::Link:
            RememberLink(message.href, message.raw);
            break;
    }
}

void WebKitEngine::OnMouseDown(const std::vector<std::string>& ids) {
    std::vector<uint32_t> cookies;
    for (const std::string& id : ids) {
        for (const auto& [cookie, connection] : m_connections) {
            if (connection.source == EventSource::Element && connection.elementId == id)
                cookies.push_back(cookie);
        }
    }
    Deliver(cookies, DISPID_MOUSEDOWN, {});
}

void WebKitEngine::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    switch (event) {
        case WEBKIT_LOAD_STARTED:
            engine->m_hasDocument = false;
            engine->m_loadFailed = false;
            engine->m_elementIds.clear();
            engine->m_pageLinks.clear();
            engine->FireBrowser(DISPID_BEFORENAVIGATE2);
            break;
        case WEBKIT_LOAD_REDIRECTED:
            engine->FireBrowser(DISPID_BEFORENAVIGATE2);
            break;
        case WEBKIT_LOAD_COMMITTED:
            engine->FireBrowser(DISPID_NAVIGATECOMPLETE2);
            break;
        case WEBKIT_LOAD_FINISHED:
            if (engine->m_loadFailed || !engine->ShowsPage()) break;
            engine->m_hasDocument = true;
            engine->m_firstCompleteSeen = true;
            engine->FireBrowser(DISPID_DOCUMENTCOMPLETE);
            break;
    }
}

// TRUE: WebKit shows no error page of its own.
gboolean WebKitEngine::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                    gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    platform::DebugLog(
        "webhost", std::string("load failed: ") + (uri ? uri : "") + ": " + (error ? error->message : ""));
    if (WithoutFragment(uri) == engine->m_pageUrl) engine->m_loadFailed = true;
    engine->FireBrowser(DISPID_NAVIGATEERROR);
    return TRUE;
}

// Navigations stay on our own resources; anything else is never loaded here, and goes to the host as a
// new-window request when the user asked for it.
gboolean WebKitEngine::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer self) {
    auto* engine = static_cast<WebKitEngine*>(self);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        engine->FireBrowser(DISPID_DOWNLOADBEGIN);
        return FALSE;
    }
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    engine->FireBrowser(DISPID_BEFORENAVIGATE2);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && engine->MayLoad(uri)) return FALSE;
    webkit_policy_decision_ignore(decision);
    // Only the user's own click may open a link outside; a script or frame that navigates on its own
    // is just refused.
    if (webkit_navigation_action_is_user_gesture(action)) {
        engine->ReportNewWindow(uri);
    } else {
        platform::DebugLog("webhost",
                           std::string("refused navigation without user gesture: ") + (uri ? uri : ""));
    }
    return TRUE;
}

// The page itself, frames of our own resources, and blank frames.
bool WebKitEngine::MayLoad(const char* uri) const {
    if (uri == nullptr) return false;
    if (WithoutFragment(uri) == m_pageUrl) return true;
    g_autofree gchar* scheme = g_uri_parse_scheme(uri);
    return scheme != nullptr && (g_ascii_strcasecmp(scheme, "res") == 0 ||
                                 (g_ascii_strcasecmp(scheme, "about") == 0 &&
                                  (g_str_equal(uri, "about:blank") || g_str_equal(uri, "about:srcdoc"))));
}

GtkWidget* WebKitEngine::OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self) {
    static_cast<WebKitEngine*>(self)->ReportNewWindow(
        webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)));
    return nullptr;
}

void WebKitEngine::OnTitle(GObject*, GParamSpec*, gpointer self) {
    static_cast<WebKitEngine*>(self)->FireBrowser(DISPID_TITLECHANGE);
}

void WebKitEngine::OnProgress(GObject*, GParamSpec*, gpointer self) {
    static_cast<WebKitEngine*>(self)->FireBrowser(DISPID_PROGRESSCHANGE);
}

void WebKitEngine::OnMouseTarget(WebKitWebView*, WebKitHitTestResult*, guint, gpointer self) {
    static_cast<WebKitEngine*>(self)->FireBrowser(DISPID_STATUSTEXTCHANGE);
}

std::unique_ptr<IBrowserEngine> MakeWebKitEngine(GResource* resources, std::string resourcePrefix,
                                                 std::string exePath, ResourceScheme::Overrides overrides) {
    return std::make_unique<WebKitEngine>(resources, std::move(resourcePrefix), std::move(exePath),
                                          std::move(overrides));
}

}  // namespace WebWindow
