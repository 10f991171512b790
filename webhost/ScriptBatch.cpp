#include "webhost/ScriptBatch.h"

#include <memory>
#include <utility>

#include "platform/DebugLog.h"
#include "platform/ScriptLiteral.h"

namespace WebWindow {
namespace {

struct Answer {
    platform::GObjectPtr<JSCValue> value;  // null when the script threw or the call failed
    bool cancelled = false;
};

Answer Finish(GObject* view, GAsyncResult* result, GCancellable* lifetime) {
    g_autoptr(GError) error = nullptr;
    Answer answer{platform::GObjectPtr<JSCValue>(
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error))};
    answer.cancelled = g_cancellable_is_cancelled(lifetime);
    if (error != nullptr && !answer.cancelled)
        platform::DebugLog("webhost", std::string("script call failed: ") + error->message);
    return answer;
}

}  // namespace

ScriptBatch::ScriptBatch(GCancellable* lifetime, size_t count, IBrowserEngine::ScriptDone done)
    : m_lifetime(G_CANCELLABLE(g_object_ref(lifetime))), m_count(count), m_done(std::move(done)) {}

std::string ScriptBatch::Script(const std::vector<std::string>& texts) {
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
        script += platform::ScriptLiteral(texts[i]);
    }
    script += "]);";
    return script;
}

void ScriptBatch::Run(WebKitWebView* view, const std::vector<std::string>& texts, GCancellable* lifetime,
                      IBrowserEngine::ScriptDone done) {
    auto* batch = new ScriptBatch(lifetime, texts.size(), std::move(done));
    batch->Start(view, Script(texts));
}

// The call owns itself until WebKit answers, which it always does, with a cancellation at the latest.
void ScriptBatch::Start(WebKitWebView* view, const std::string& script) {
    webkit_web_view_evaluate_javascript(view, script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                        nullptr, m_lifetime.get(), OnBatchFinished, this);
}

void ScriptBatch::OnBatchFinished(GObject* view, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<ScriptBatch> batch(static_cast<ScriptBatch*>(data));
    const Answer answer = Finish(view, result, batch->m_lifetime.get());
    if (answer.cancelled) return;
    std::vector<bool> flags(batch->m_count, false);
    if (answer.value && jsc_value_is_array(answer.value.get())) {
        for (size_t i = 0; i < batch->m_count; ++i) {
            g_autoptr(JSCValue) item =
                jsc_value_object_get_property_at_index(answer.value.get(), static_cast<guint>(i));
            flags[i] = jsc_value_is_boolean(item) && jsc_value_to_boolean(item);
        }
    }
    batch->m_done(std::move(flags));
}

}  // namespace WebWindow
