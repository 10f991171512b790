#pragma once

#include <string>
#include <vector>

#include <webkit2/webkit2.h>

#include "platform/GObjectPtr.h"

namespace WebWindow {

// What the host script reports from the page.
struct PageMessage {
    enum class Kind { Ids, MouseDown, FocusOut, Link };
    Kind kind = Kind::FocusOut;
    // Ids: every element id of the page. MouseDown: the pressed element's and its ancestors' ids,
    // innermost first.
    std::vector<std::string> ids;
    std::string href;  // Link: the link as the engine parses it
    std::string raw;   // Link: the link as the page holds it
};

// The host's channel into its pages: a user script in an isolated script world of res: pages' top frame,
// which reports trusted element mouse-downs, document focus-outs, the ids present, and the text of an
// item link the user opens. The page's own scripts, its frames and other origins cannot post to it.
// The channel's content manager goes to the view at its creation.
class PageChannel {
  public:
    class Listener {
      public:
        // May destroy the channel.
        virtual void OnPageMessage(const PageMessage& message) = 0;

      protected:
        ~Listener() = default;
    };

    explicit PageChannel(Listener& listener);
    ~PageChannel();
    PageChannel(const PageChannel&) = delete;
    PageChannel& operator=(const PageChannel&) = delete;

    WebKitUserContentManager* ContentManager() const { return m_contentManager.get(); }

  private:
    static void OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);

    Listener& m_listener;
    platform::GObjectPtr<WebKitUserContentManager> m_contentManager;
};

}  // namespace WebWindow
