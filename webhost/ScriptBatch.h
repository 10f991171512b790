#pragma once

#include <functional>
#include <string>
#include <vector>

#include <webkit2/webkit2.h>

#include "platform/GObjectPtr.h"
#include "webhost/IBrowserEngine.h"

namespace WebWindow {

// One script call into a page's own world whose answer comes later from the loop. The answer is dropped
// once `lifetime` is cancelled, whether or not WebKit already had it.
class ScriptBatch {
  public:
    // The runner of a batch, the body of a function of `texts` (a TextList): each text runs in the
    // global scope in order, and a text of one '1' or '0' per text comes out, '0' for a text that threw.
    static const char* Body();
    // The texts as one JSON array, each as UTF-8 without NUL (U+FFFD stands for each byte that is not).
    static std::string TextList(const std::vector<std::string>& texts);

    // Runs `texts` as one script task; `done` gets one flag per text.
    static void Run(WebKitWebView* view, const std::vector<std::string>& texts, GCancellable* lifetime,
                    IBrowserEngine::ScriptDone done);

  private:
    ScriptBatch(GCancellable* lifetime, size_t count, IBrowserEngine::ScriptDone done);

    void Start(WebKitWebView* view, const std::vector<std::string>& texts);
    static void OnBatchFinished(GObject* view, GAsyncResult* result, gpointer data);

    platform::GObjectPtr<GCancellable> m_lifetime;
    size_t m_count;
    IBrowserEngine::ScriptDone m_done;
};

}  // namespace WebWindow
