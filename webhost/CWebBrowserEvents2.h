#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <glib.h>

#include "feed/TextConvert.h"
#include "platform/WindowManager.h"
#include "store/ItemStore.h"
#include "webhost/DesktopBrowser.h"
#include "webhost/IBrowserEngine.h"
#include "webhost/PopupMessages.h"

namespace WebWindow {

// The browser's sink: every event counts as activity; a finished document goes to the handlers; a
// new-window request marks its link read and sends web links to the desktop's browser.
template <class THandler>
class CWebBrowserEvents2 : public IEventSink {
  public:
    using OpenLink = std::function<void(const std::string& utf8Url)>;

    explicit CWebBrowserEvents2(ItemStore& store, OpenLink openLink = &DesktopBrowser::Open)
        : m_store(store), m_openLink(std::move(openLink)) {}

    void AddHandler(THandler* handler) { m_handlers.push_back(handler); }
    const std::vector<THandler*>& Handlers() const { return m_handlers; }

    void Invoke(int dispid, const EventArgs& args) override {
        platform::PostMessage(g_hwndPopup, WM_BROWSER_ACTIVITY, 0, 0);
        switch (dispid) {
            case DISPID_DOCUMENTCOMPLETE:
                for (THandler* handler : m_handlers) handler->NotifyDocumentComplete();
                break;
            case DISPID_NEWWINDOW3:
                OnNewWindow(args);
                break;
            default:
                break;
        }
    }

  private:
    void OnNewWindow(const EventArgs& args) {
        // The store holds a link as the page was given it, not in the engine's parsed form. msg_url
        // reached the page as UTF-8 and msg_buyurl from the locale's character set.
        const std::u16string& link = args.link.empty() ? args.url : args.link;
        // An empty target (window.open() with no address) would otherwise mark every row without a
        // link as read.
        if (const std::string utf8 = ToUtf8(link); !utf8.empty())
            m_store.MarkReadByUrl(utf8, WideToAnsi(link));
        platform::PostMessage(g_hwndPopup, platform::WM_SHOWWINDOW, 0, 0);
        if (!m_openLink) return;
        if (const std::string target = ToUtf8(args.url); DesktopBrowser::IsWebLink(target))
            m_openLink(target);
    }

    // Empty for text that is not valid UTF-16.
    static std::string ToUtf8(const std::u16string& text) {
        g_autofree gchar* utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text.data()),
                                                 static_cast<glong>(text.size()), nullptr, nullptr, nullptr);
        return utf8 != nullptr ? std::string(utf8) : std::string();
    }

    ItemStore& m_store;
    OpenLink m_openLink;
    std::vector<THandler*> m_handlers;  // not owned
};

}  // namespace WebWindow
