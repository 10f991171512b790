#include "webhost/WebKitEngine.h"

#include <utility>

#include "webhost/HostLog.h"
#include "platform/WindowManager.h"

namespace WebWindow {
namespace {

constexpr const char* kHostWorld = "notifier-host";
constexpr const char* kHostChannel = "notifierHost";

// Runs in the host's isolated world, in the top frame of res: pages only. The page's own world has no
// window.webkit, so neither the page's scripts nor its frames can post here; untrusted (script-made)
// events are dropped.
constexpr const char* kHostScript = R"JS((function () {
  'use strict';
  const channel = window.webkit.messageHandlers.notifierHost;
  const post = (message) => channel.postMessage(message);
  const idsFrom = (node) => {
    const ids = [];
    for (let n = node; n; n = n.parentNode) {
      if (n.nodeType === Node.ELEMENT_NODE && n.id) ids.push(n.id);
    }
    return ids;
  };
  const reportIds = () => post({type: 'ids', ids: Array.from(document.querySelectorAll('[id]'), (e) => e.id)});
  // Only the primary button presses the page's buttons and anchors.
  window.addEventListener('mousedown', (e) => {
    if (e.isTrusted && e.button === 0) post({type: 'mousedown', ids: idsFrom(e.target)});
  }, true);
  // An item button opens its link with window.open, and the request reaches the host parsed (host
  // lower-cased, default port dropped, escapes added). The store holds the link as the page does, so
  // tell the host which text each parsed form came from; URL here is the parser window.open uses.
  window.addEventListener('click', (e) => {
    if (!e.isTrusted || e.button !== 0 || !(e.target instanceof Element)) return;
    const button = e.target.closest('button[name=button_detail], button[name=button_buy]');
    if (!button) return;
    const raw = button.getAttribute(button.name === 'button_detail' ? 'detail_url' : 'buy_url');
    if (raw === null) return;
    let href;
    try {
      href = new URL(raw, document.baseURI).href;
    } catch (err) {
      return;  // window.open refuses it too
    }
    post({type: 'link', raw: raw, href: href});
  }, true);
  document.addEventListener('focusout', (e) => {
    if (e.isTrusted) post({type: 'focusout'});
  }, true);
  window.addEventListener('blur', (e) => {
    if (e.isTrusted && e.target === window) post({type: 'focusout'});
  });
  document.addEventListener('DOMContentLoaded', reportIds);
  window.addEventListener('load', reportIds);
})();)JS";

std::string WithoutFragment(const char* uri) {
    if (uri == nullptr) return {};
    std::string text = uri;
    if (const auto hash = text.find('#'); hash != std::string::npos) text.erase(hash);
    return text;
}

std::u16string ToUtf16(const char* utf8) {
    if (utf8 == nullptr) return {};
    glong written = 0;
    gunichar2* wide = g_utf8_to_utf16(utf8, -1, nullptr, &written, nullptr);
    if (wide == nullptr) return {};
    std::u16string out(reinterpret_cast<const char16_t*>(wide), static_cast<size_t>(written));
    g_free(wide);
    return out;
}

std::string StringProperty(JSCValue* object, const char* name) {
    JSCValue* value = jsc_value_object_get_property(object, name);
    std::string out;
    if (jsc_value_is_string(value)) {
        gchar* text = jsc_value_to_string(value);
        out = text;
        g_free(text);
    }
    g_object_unref(value);
    return out;
}

std::vector<std::string> StringArrayProperty(JSCValue* object, const char* name) {
    std::vector<std::string> out;
    JSCValue* array = jsc_value_object_get_property(object, name);
    if (jsc_value_is_array(array)) {
        JSCValue* length = jsc_value_object_get_property(array, "length");
        const int n = jsc_value_to_int32(length);
        g_object_unref(length);
        for (int i = 0; i < n; ++i) {
            JSCValue* item = jsc_value_object_get_property_at_index(array, static_cast<guint>(i));
            if (jsc_value_is_string(item)) {
                gchar* text = jsc_value_to_string(item);
                out.emplace_back(text);
                g_free(text);
            }
            g_object_unref(item);
        }
    }
    g_object_unref(array);
    return out;
}

void AppendJsonString(std::string& out, const std::string& text) {
    gchar* valid = g_utf8_make_valid(text.c_str(), static_cast<gssize>(text.size()));
    out += '"';
    for (const char* p = valid; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    g_snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += *p;
                }
        }
    }
    out += '"';
    g_free(valid);
}

// Script results arrive after the call; a token that Close drops keeps them from reaching a closed host.
struct ScriptCall {
    std::weak_ptr<bool> token;
    size_t count = 0;
    IBrowserEngine::ScriptDone done;
    std::function<void(std::string)> jsonDone;
};

void OnBatchFinished(GObject* view, GAsyncResult* result, gpointer data) {
    std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
    const bool cancelled = error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    if (error != nullptr) {
        HostLog(std::string("script batch failed: ") + error->message);
        g_error_free(error);
    }
    if (cancelled || call->token.expired()) {
        if (value != nullptr) g_object_unref(value);
        return;
    }
    std::vector<bool> flags(call->count, false);
    if (value != nullptr && jsc_value_is_array(value)) {
        for (size_t i = 0; i < call->count; ++i) {
            JSCValue* item = jsc_value_object_get_property_at_index(value, static_cast<guint>(i));
            flags[i] = jsc_value_is_boolean(item) && jsc_value_to_boolean(item);
            g_object_unref(item);
        }
    }
    if (value != nullptr) g_object_unref(value);
    call->done(std::move(flags));
}

void OnTestEvaluated(GObject* view, GAsyncResult* result, gpointer data) {
    std::unique_ptr<ScriptCall> call(static_cast<ScriptCall*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
    const bool cancelled = error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    std::string json;
    if (value != nullptr) {
        gchar* text = jsc_value_to_json(value, 0);
        json = text == nullptr ? "null" : text;
        g_free(text);
        g_object_unref(value);
    }
    if (error != nullptr) g_error_free(error);
    if (cancelled || call->token.expired()) return;
    call->jsonDone(std::move(json));
}

}  // namespace

WebKitEngine::WebKitEngine(GResource* resources, std::string resourcePrefix, std::string exePath)
    : m_scheme(resources, std::move(resourcePrefix), std::move(exePath)) {}

WebKitEngine::~WebKitEngine() {
    Close();
    *m_alive = false;
}

bool WebKitEngine::Create(platform::HWND parent, const Rect& rc) {
    if (m_view != nullptr) return false;
    auto* container = static_cast<GtkWidget*>(platform::GetNativeWidget(parent));
    if (container == nullptr || !GTK_IS_CONTAINER(container)) return false;

    m_context = webkit_web_context_new_ephemeral();
    m_scheme.Register(m_context);

    m_contentManager = webkit_user_content_manager_new();
    const gchar* const allowList[] = {"res:///*", nullptr};
    WebKitUserScript* script = webkit_user_script_new_for_world(
        kHostScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START,
        kHostWorld, allowList, nullptr);
    webkit_user_content_manager_add_script(m_contentManager, script);
    webkit_user_script_unref(script);
    g_signal_connect(m_contentManager, "script-message-received::notifierHost", G_CALLBACK(OnScriptMessage),
                     this);
    webkit_user_content_manager_register_script_message_handler_in_world(m_contentManager, kHostChannel,
                                                                         kHostWorld);

    WebKitSettings* settings = webkit_settings_new();
    CBrowserSite::ApplySettings(settings);
    m_view =
        WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", m_context, "user-content-manager",
                                     m_contentManager, "settings", settings, nullptr));
    g_object_unref(settings);
    g_object_ref_sink(m_view);
    m_site = std::make_unique<CBrowserSite>(m_view);
    ConnectSignals();
    m_cancellable = g_cancellable_new();
    m_scriptToken = std::make_shared<bool>(true);

    GtkWidget* view = GTK_WIDGET(m_view);
    gtk_widget_set_size_request(view, rc.right - rc.left, rc.bottom - rc.top);
    if (GTK_IS_FIXED(container)) {
        gtk_fixed_put(GTK_FIXED(container), view, rc.left, rc.top);
    } else if (GTK_IS_OVERLAY(container)) {
        gtk_widget_set_halign(view, GTK_ALIGN_START);
        gtk_widget_set_valign(view, GTK_ALIGN_START);
        gtk_widget_set_margin_start(view, rc.left);
        gtk_widget_set_margin_top(view, rc.top);
        gtk_overlay_add_overlay(GTK_OVERLAY(container), view);
    } else {
        gtk_container_add(GTK_CONTAINER(container), view);
    }
    return true;
}

void WebKitEngine::ConnectSignals() {
    g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    g_signal_connect(m_view, "load-failed", G_CALLBACK(OnLoadFailed), this);
    g_signal_connect(m_view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
    g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this);
    g_signal_connect(m_view, "notify::title", G_CALLBACK(OnTitle), this);
    g_signal_connect(m_view, "notify::estimated-load-progress", G_CALLBACK(OnProgress), this);
    g_signal_connect(m_view, "mouse-target-changed", G_CALLBACK(OnMouseTarget), this);
}

void WebKitEngine::Navigate(const std::string& url) {
    if (m_view == nullptr) return;
    m_pageUrl = WithoutFragment(url.c_str());
    m_hasDocument = false;
    webkit_web_view_load_uri(m_view, url.c_str());
}

void WebKitEngine::Show(bool visible) {
    if (m_view == nullptr) return;
    gtk_widget_set_visible(GTK_WIDGET(m_view), visible);
}

bool WebKitEngine::HasDocument() const { return m_view != nullptr && m_hasDocument; }

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

std::string WebKitEngine::BatchScript(const std::vector<std::string>& texts) {
    std::string script =
        "(function (texts) {\n"
        "  const results = [];\n"
        "  for (const text of texts) {\n"
        "    try { (0, eval)(text); results.push(true); } catch (e) { results.push(false); }\n"
        "  }\n"
        "  return results;\n"
        "})([";
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) script += ',';
        AppendJsonString(script, texts[i]);
    }
    script += "]);";
    return script;
}

void WebKitEngine::RunScripts(std::vector<std::string> texts, ScriptDone done) {
    if (!HasDocument() || texts.empty()) {
        done(std::vector<bool>(texts.size(), false));
        return;
    }
    const std::string script = BatchScript(texts);
    auto* call = new ScriptCall{m_scriptToken, texts.size(), std::move(done), {}};
    webkit_web_view_evaluate_javascript(m_view, script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                        nullptr, m_cancellable, OnBatchFinished, call);
}

void WebKitEngine::EvaluateForTest(const std::string& js, std::function<void(std::string json)> done) {
    if (m_view == nullptr) {
        done("");
        return;
    }
    auto* call = new ScriptCall{m_scriptToken, 0, {}, std::move(done)};
    webkit_web_view_evaluate_javascript(m_view, js.c_str(), static_cast<gssize>(js.size()), nullptr, nullptr,
                                        m_cancellable, OnTestEvaluated, call);
}

void WebKitEngine::Close() {
    m_connections.clear();
    m_hasDocument = false;
    m_elementIds.clear();
    m_pageLinks.clear();
    m_scriptToken.reset();
    if (m_cancellable != nullptr) {
        g_cancellable_cancel(m_cancellable);
        g_clear_object(&m_cancellable);
    }
    m_site.reset();
    if (m_contentManager != nullptr) {
        g_signal_handlers_disconnect_by_data(m_contentManager, this);
        webkit_user_content_manager_unregister_script_message_handler_in_world(m_contentManager, kHostChannel,
                                                                               kHostWorld);
    }
    if (m_view != nullptr) {
        g_signal_handlers_disconnect_by_data(m_view, this);
        gtk_widget_destroy(GTK_WIDGET(m_view));  // leaves its container
        g_clear_object(&m_view);
    }
    g_clear_object(&m_contentManager);
    g_clear_object(&m_context);
}

void WebKitEngine::Fire(EventSource source, int dispid, const EventArgs& args) {
    std::vector<uint32_t> cookies;
    for (const auto& [cookie, connection] : m_connections) {
        if (connection.source == source) cookies.push_back(cookie);
    }
    Deliver(cookies, dispid, args);
}

// A sink may unadvise others, close the engine or destroy it while it runs: each delivery looks its
// connection up again and stops once the engine is gone.
void WebKitEngine::Deliver(const std::vector<uint32_t>& cookies, int dispid, const EventArgs& args) {
    const std::shared_ptr<bool> alive = m_alive;
    for (uint32_t cookie : cookies) {
        const auto it = m_connections.find(cookie);
        if (it == m_connections.end()) continue;
        it->second.sink->Invoke(dispid, args);
        if (!*alive) return;
    }
}

void WebKitEngine::FireBrowser(int dispid, const EventArgs& args) {
    if (!m_firstCompleteSeen && dispid != DISPID_DOCUMENTCOMPLETE && dispid != DISPID_NEWWINDOW3) return;
    Fire(EventSource::Browser, dispid, args);
}

bool WebKitEngine::ShowsPage() const {
    return m_view != nullptr && !m_pageUrl.empty() &&
           WithoutFragment(webkit_web_view_get_uri(m_view)) == m_pageUrl;
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

void WebKitEngine::OnPageMessage(JSCValue* message) {
    if (!ShowsPage() || !jsc_value_is_object(message)) return;
    const std::string type = StringProperty(message, "type");
    if (type == "ids") {
        const auto ids = StringArrayProperty(message, "ids");
        m_elementIds = std::set<std::string>(ids.begin(), ids.end());
    } else if (type == "mousedown") {
        OnMouseDown(StringArrayProperty(message, "ids"));
    } else if (type == "focusout") {
        Fire(EventSource::Document, DISPID_FOCUSOUT);
    } else if (type == "link") {
        RememberLink(StringProperty(message, "href"), StringProperty(message, "raw"));
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
    HostLog(std::string("load failed: ") + (uri ? uri : "") + ": " + (error ? error->message : ""));
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
        HostLog(std::string("refused navigation without user gesture: ") + (uri ? uri : ""));
    }
    return TRUE;
}

// The page itself, frames of our own resources, and blank frames.
bool WebKitEngine::MayLoad(const char* uri) const {
    if (uri == nullptr) return false;
    if (WithoutFragment(uri) == m_pageUrl) return true;
    gchar* scheme = g_uri_parse_scheme(uri);
    const bool ours =
        scheme != nullptr && (g_ascii_strcasecmp(scheme, "res") == 0 ||
                              (g_ascii_strcasecmp(scheme, "about") == 0 &&
                               (g_str_equal(uri, "about:blank") || g_str_equal(uri, "about:srcdoc"))));
    g_free(scheme);
    return ours;
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

void WebKitEngine::OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    static_cast<WebKitEngine*>(self)->OnPageMessage(webkit_javascript_result_get_js_value(result));
}

std::unique_ptr<IBrowserEngine> MakeWebKitEngine(GResource* resources, std::string resourcePrefix,
                                                 std::string exePath) {
    return std::make_unique<WebKitEngine>(resources, std::move(resourcePrefix), std::move(exePath));
}

}  // namespace WebWindow
