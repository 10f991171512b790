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
        webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, &error))};
    answer.cancelled = g_cancellable_is_cancelled(lifetime);
    if (error != nullptr && !answer.cancelled)
        platform::DebugLog("webhost", std::string("script call failed: ") + error->message);
    return answer;
}

// A NUL reaches the page as U+FFFD, as every byte that is not UTF-8 does (ScriptLiteral sees to those):
// a NUL is never part of a longer UTF-8 sequence, so replacing it first changes nothing else.
std::string WithoutNul(std::string text) {
    for (size_t at = text.find('\0'); at != std::string::npos; at = text.find('\0', at))
        text.replace(at, 1, "\xEF\xBF\xBD");
    return text;
}

}  // namespace

ScriptBatch::ScriptBatch(GCancellable* lifetime, size_t count, IBrowserEngine::ScriptDone done)
    : m_lifetime(G_CANCELLABLE(g_object_ref(lifetime))), m_count(count), m_done(std::move(done)) {}

const char* ScriptBatch::Body() {
    // A text that is one call of a global function with JSON arguments, as the host's calls are, is
    // made directly: compiling ten thousand distinct texts would cost seconds and keep their code.
    return "const call = /^([A-Za-z_$][\\w$]*)\\(([^]*)\\)$/;\n"
           "function run(text) {\n"
           "  const m = call.exec(text);\n"
           "  const f = m && globalThis[m[1]];\n"
           "  if (typeof f === 'function') {\n"
           "    let args = null;\n"
           "    try { args = JSON.parse('[' + m[2] + ']'); } catch (e) {}\n"
           "    if (args) { f.apply(undefined, args); return; }\n"
           "  }\n"
           "  (0, eval)(text);\n"
           "}\n"
           "const list = JSON.parse(texts);\n"
           "let results = '';\n"
           "for (let i = 0; i < list.length; i++) {\n"
           "  try { run(list[i]); results += '1'; } catch (e) { results += '0'; }\n"
           "}\n"
           "return results;\n";
}

void ScriptBatch::Run(WebKitWebView* view, const std::vector<std::string>& texts, GCancellable* lifetime,
                      IBrowserEngine::ScriptDone done) {
    auto* batch = new ScriptBatch(lifetime, texts.size(), std::move(done));
    batch->Start(view, texts);
}

std::string ScriptBatch::TextList(const std::vector<std::string>& texts) {
    std::string list = "[";
    for (const std::string& text : texts) {
        if (list.size() > 1) list += ',';
        list += platform::ScriptLiteral(WithoutNul(text));
    }
    return list + ']';
}

// The texts travel as an argument, not as script source: the engine never parses megabytes of literals.
// They go as one string: WebKit converts a dictionary of ten thousand strings four times slower.
// The call owns itself until WebKit answers, which it always does, with a cancellation at the latest.
void ScriptBatch::Start(WebKitWebView* view, const std::vector<std::string>& texts) {
    GVariantDict arguments;
    g_variant_dict_init(&arguments, nullptr);
    g_variant_dict_insert(&arguments, "texts", "s", TextList(texts).c_str());
    webkit_web_view_call_async_javascript_function(view, Body(), -1, g_variant_dict_end(&arguments), nullptr,
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
