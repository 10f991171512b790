#include "webhost/ScriptBatch.h"

#include <memory>
#include <utility>

#include "platform/DebugLog.h"
#include "platform/Unicode.h"

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

// A text as a GVariant string must be UTF-8 without NUL; the page gets U+FFFD for each byte that is not.
std::string PageString(const std::string& text) {
    std::string utf8 = platform::ValidUtf8(text);
    for (size_t at = utf8.find('\0'); at != std::string::npos; at = utf8.find('\0', at))
        utf8.replace(at, 1, "\xEF\xBF\xBD");
    return utf8;
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
           "let results = '';\n"
           "for (let i = 0; i < count; i++) {\n"
           "  try { run(texts[i]); results += '1'; } catch (e) { results += '0'; }\n"
           "}\n"
           "return results;\n";
}

void ScriptBatch::Run(WebKitWebView* view, const std::vector<std::string>& texts, GCancellable* lifetime,
                      IBrowserEngine::ScriptDone done) {
    auto* batch = new ScriptBatch(lifetime, texts.size(), std::move(done));
    batch->Start(view, texts);
}

// The texts travel as an argument, not as script source: the engine never parses megabytes of literals.
// The call owns itself until WebKit answers, which it always does, with a cancellation at the latest.
void ScriptBatch::Start(WebKitWebView* view, const std::vector<std::string>& texts) {
    // WebKit passes numbers, strings and dictionaries, not arrays: the texts go as "0", "1", ...
    GVariantDict list;
    g_variant_dict_init(&list, nullptr);
    for (size_t i = 0; i < texts.size(); ++i)
        g_variant_dict_insert(&list, std::to_string(i).c_str(), "s", PageString(texts[i]).c_str());
    GVariantDict arguments;
    g_variant_dict_init(&arguments, nullptr);
    g_variant_dict_insert_value(&arguments, "texts", g_variant_dict_end(&list));
    g_variant_dict_insert(&arguments, "count", "d", static_cast<double>(texts.size()));
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
