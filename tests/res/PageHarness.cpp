#include "PageHarness.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtk/gtk.h>

#include "res/PageResources.h"

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
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
    if (value) {
        char* text = jsc_value_to_string(value);
        call->value = text ? text : "";
        g_free(text);
        g_object_unref(value);
    } else {
        g_clear_error(&error);
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
    GBytes* bytes =
        g_resource_lookup_data(PageResources(), key.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
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
    GCancellable* cancel = g_cancellable_new();
    webkit_web_view_evaluate_javascript(m_view, js.c_str(), static_cast<gssize>(js.size()), nullptr, nullptr,
                                        cancel, OnScriptDone, &call);
    if (!WaitFor(call.done, kScriptTimeout)) {
        // The callback still comes, with a cancellation; it must not find `call` gone.
        g_cancellable_cancel(cancel);
        while (!call.done) g_main_context_iteration(nullptr, TRUE);
    }
    g_object_unref(cancel);
    return call.value;
}

std::vector<bool> PageHarness::RunBatch(const std::vector<std::string>& texts) {
    std::string array = "[";
    for (const auto& text : texts) {
        if (array.size() > 1) array += ',';
        array += JsString(text);
    }
    array += ']';
    const auto flags = Eval(
        "(function(ts){var r='';for(var i=0;i<ts.length;i++){try{(0,eval)(ts[i]);r+='1';}catch(e){r+='0';}}"
        "return r;})(" +
        array + ")");
    std::vector<bool> result;
    if (flags) {
        for (char flag : *flags) result.push_back(flag == '1');
    }
    return result;
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

long PageHarness::WebProcessRssKiB() const {
    // The web process is a child of ours; WebKitGTK 4.1 does not tell its id.
    const std::string self = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state, ppid;
        if (!(stat >> pid >> comm >> state >> ppid) || ppid != self) continue;
        if (comm.find("WebKitWebProces") == std::string::npos) continue;
        std::ifstream status(entry.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

std::string JsString(std::string_view value) {
    std::string out = "\"";
    for (unsigned char c : value) {
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
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    // U+2028 and U+2029 end a line inside old script parsers; escape them as well.
    for (std::string::size_type at; (at = out.find("\xE2\x80\xA8")) != std::string::npos;)
        out.replace(at, 3, "\\u2028");
    for (std::string::size_type at; (at = out.find("\xE2\x80\xA9")) != std::string::npos;)
        out.replace(at, 3, "\\u2029");
    return out + "\"";
}

std::string AddAllItemCall(const std::vector<std::string>& values) {
    std::string call = "AddAllItem(";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) call += ',';
        call += JsString(values[i]);
    }
    return call + ")";
}
