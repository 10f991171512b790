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
    // A text that is one call of a global function with JSON arguments, as the host's calls are, is
    // made directly: compiling ten thousand distinct texts would cost seconds and keep their code.
    std::string script =
        "(function (texts) {\n"
        "  const call = /^([A-Za-z_$][\\w$]*)\\(([^]*)\\)$/;\n"
        "  function run(text) {\n"
        "    const m = call.exec(text);\n"
        "    const f = m && globalThis[m[1]];\n"
        "    if (typeof f === 'function') {\n"
        "      let args = null;\n"
        "      try { args = JSON.parse('[' + m[2] + ']'); } catch (e) {}\n"
        "      if (args) { f.apply(undefined, args); return; }\n"
        "    }\n"
        "    (0, eval)(text);\n"
        "  }\n"
        "  let results = '';\n"
        "  for (const text of texts) {\n"
        "    try { run(text); results += '1'; } catch (e) { results += '0'; }\n"
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
    if (answer.value && jsc_value_is_string(answer.value.get())) {
        g_autofree gchar* marks = jsc_value_to_string(answer.value.get());
        for (size_t i = 0; i < batch->m_count && marks[i] != '\0'; ++i) flags[i] = marks[i] == '1';
    }
    batch->m_done(std::move(flags));
}

}  // namespace WebWindow
