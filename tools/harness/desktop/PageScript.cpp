#include "tools/harness/desktop/PageScript.h"

#include <webkit2/webkit2.h>

#include "tools/harness/MainLoop.h"

namespace harness {
namespace {

struct Call {
    bool answered = false;
    std::string json;
};

void OnEvaluated(GObject* view, GAsyncResult* result, gpointer data) {
    auto* call = static_cast<Call*>(data);
    g_autoptr(JSCValue) value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
    if (value) {
        g_autofree gchar* text = jsc_value_to_json(value, 0);
        call->json = text == nullptr ? "null" : text;
    }
    call->answered = true;
}

}  // namespace

std::optional<std::string> EvaluateJson(GtkWidget* view, const std::string& js,
                                        std::chrono::milliseconds limit) {
    if (view == nullptr) return "";  // no page to ask: as if it threw
    Call call;
    g_autoptr(GCancellable) cancel = g_cancellable_new();
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), js.c_str(), static_cast<gssize>(js.size()),
                                        nullptr, nullptr, cancel, OnEvaluated, &call);
    if (SpinUntil([&call] { return call.answered; }, limit)) return call.json;
    // The callback still comes, with a cancellation; it must not find `call` gone.
    g_cancellable_cancel(cancel);
    while (!call.answered) g_main_context_iteration(nullptr, TRUE);
    return std::nullopt;
}

}  // namespace harness
