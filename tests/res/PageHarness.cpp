#include "PageHarness.h"

#include <cstdio>
#include <cstdlib>

#include <gtk/gtk.h>

#include "platform/ScriptLiteral.h"
#include "res/PageResources.h"
#include "res/PopupPage.h"
#include "webhost/ScriptBatch.h"

namespace {

constexpr auto kLoadTimeout = std::chrono::seconds(20);
constexpr auto kScriptTimeout = std::chrono::seconds(20);

void StartGtkOnce() {
    static const bool started = [] {
        // Without this the web process keeps a core busy after every change of the page.
        g_setenv("GTK_OVERLAY_SCROLLING", "0", TRUE);
        gdk_set_allowed_backends("x11");
        if (!gtk_init_check(nullptr, nullptr)) {
            std::fprintf(stderr, "PageHarness: no X display\n");
            std::abort();
        }
        return true;
    }();
    (void)started;
}

gboolean SetFlag(gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

struct ScriptCall {
    bool done = false;
    std::optional<std::string> value;
};

void OnScriptDone(GObject* view, GAsyncResult* result, gpointer data) {
    auto* call = static_cast<ScriptCall*>(data);
    g_autoptr(JSCValue) value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
    if (value) {
        g_autofree char* text = jsc_value_to_string(value);
        call->value = text ? text : "";
    }
    call->done = true;
}

struct SnapshotCall {
    bool done = false;
    cairo_surface_t* surface = nullptr;
};

void OnSnapshotDone(GObject* view, GAsyncResult* result, gpointer data) {
    auto* call = static_cast<SnapshotCall*>(data);
    call->surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
    call->done = true;
}

struct LoadState {
    bool finished = false;
    bool failed = false;
};

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    if (event == WEBKIT_LOAD_FINISHED) static_cast<LoadState*>(data)->finished = true;
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer data) {
    static_cast<LoadState*>(data)->failed = true;
    return TRUE;
}

}  // namespace

PageHarness::PageHarness() {
    StartGtkOnce();
    m_context = webkit_web_context_new_ephemeral();
    webkit_web_context_register_uri_scheme(m_context, "res", &PageHarness::OnSchemeRequest, this, nullptr);
    m_view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(m_context));
    WebKitSettings* settings = webkit_web_view_get_settings(m_view);
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(m_window), 513, 578);
    gtk_container_add(GTK_CONTAINER(m_window), GTK_WIDGET(m_view));
    gtk_widget_show_all(m_window);
}

PageHarness::~PageHarness() {
    // The scheme handler points at this object; the context may outlive the view by a little.
    gtk_widget_destroy(m_window);
    Spin(std::chrono::milliseconds(0));
    g_object_unref(m_context);
}

void PageHarness::OnSchemeRequest(WebKitURISchemeRequest* request, gpointer self) {
    static_cast<PageHarness*>(self)->Serve(request);
}

void PageHarness::Serve(WebKitURISchemeRequest* request) {
    g_autofree char* unescaped = g_uri_unescape_string(webkit_uri_scheme_request_get_path(request), nullptr);
    g_autofree char* lower = g_ascii_strdown(unescaped ? unescaped : "", -1);
    const std::string path = lower;
    const std::string key = std::string(kPageResourcePrefix) + path;
    // The popup page as the program serves it, with the build's home link.
    GBytes* bytes = key == kPopupPageKey ? g_bytes_ref(PopupPage(BuildHomeUrl()).get())
                                         : g_resource_lookup_data(PageResources(), key.c_str(),
                                                                  G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes) {
        ++m_missing[path];
        g_autoptr(GInputStream) empty = g_memory_input_stream_new();
        g_autoptr(WebKitURISchemeResponse) response = webkit_uri_scheme_response_new(empty, 0);
        webkit_uri_scheme_response_set_status(response, 404, "Not Found");
        webkit_uri_scheme_request_finish_with_response(request, response);
        return;
    }
    ++m_served[path];
    gsize size = 0;
    const void* data = g_bytes_get_data(bytes, &size);
    g_autofree char* type =
        g_content_type_guess(path.c_str(), static_cast<const guchar*>(data), size, nullptr);
    g_autofree char* mime = g_content_type_get_mime_type(type);
    g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_bytes(bytes);
    g_bytes_unref(bytes);
    g_autoptr(WebKitURISchemeResponse) response = webkit_uri_scheme_response_new(stream, size);
    webkit_uri_scheme_response_set_content_type(response, mime ? mime : "application/octet-stream");
    webkit_uri_scheme_request_finish_with_response(request, response);
}

bool PageHarness::WaitFor(const bool& flag, std::chrono::milliseconds timeout) {
    bool expired = false;
    const guint timer = g_timeout_add(static_cast<guint>(timeout.count()), SetFlag, &expired);
    while (!flag && !expired) g_main_context_iteration(nullptr, TRUE);
    if (!expired) g_source_remove(timer);
    return flag;
}

void PageHarness::Spin(std::chrono::milliseconds duration) {
    bool expired = false;
    g_timeout_add(static_cast<guint>(duration.count()), SetFlag, &expired);
    while (!expired) g_main_context_iteration(nullptr, TRUE);
}

bool PageHarness::Load(const std::string& path) {
    LoadState state;
    const gulong changed = g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), &state);
    const gulong failed = g_signal_connect(m_view, "load-failed", G_CALLBACK(OnLoadFailed), &state);
    webkit_web_view_load_uri(m_view, ("res://" + path).c_str());
    WaitFor(state.finished, kLoadTimeout);
    g_signal_handler_disconnect(m_view, changed);
    g_signal_handler_disconnect(m_view, failed);
    return state.finished && !state.failed;
}

std::optional<std::string> PageHarness::Eval(const std::string& js) {
    ScriptCall call;
    g_autoptr(GCancellable) cancel = g_cancellable_new();
    webkit_web_view_evaluate_javascript(m_view, js.c_str(), static_cast<gssize>(js.size()), nullptr, nullptr,
                                        cancel, OnScriptDone, &call);
    if (!WaitFor(call.done, kScriptTimeout)) {
        // The callback still comes, with a cancellation; it must not find `call` gone.
        g_cancellable_cancel(cancel);
        while (!call.done) g_main_context_iteration(nullptr, TRUE);
    }
    return call.value;
}

std::vector<bool> PageHarness::RunBatch(const std::vector<std::string>& texts) {
    std::optional<std::vector<bool>> flags;
    g_autoptr(GCancellable) lifetime = g_cancellable_new();
    WebWindow::ScriptBatch::Run(m_view, texts, lifetime, [&](std::vector<bool> answer) { flags = answer; });
    const auto deadline = std::chrono::steady_clock::now() + kScriptTimeout;
    while (!flags && std::chrono::steady_clock::now() < deadline) g_main_context_iteration(nullptr, TRUE);
    if (!flags) {
        // The answer still comes, with a cancellation, and is dropped then.
        g_cancellable_cancel(lifetime);
        return {};
    }
    return *flags;
}

void PageHarness::ResetCounts() {
    m_served.clear();
    m_missing.clear();
}

cairo_surface_t* PageHarness::Snapshot() {
    SnapshotCall call;
    webkit_web_view_get_snapshot(m_view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE,
                                 nullptr, OnSnapshotDone, &call);
    while (!call.done) g_main_context_iteration(nullptr, TRUE);
    return call.surface;
}

std::string AddAllItemCall(const std::vector<std::string>& values, const std::string& function) {
    std::string call = function + "(";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) call += ',';
        call += platform::ScriptLiteral(values[i]);
    }
    return call + ")";
}
