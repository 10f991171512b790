#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/AnsiCodePage.h"
#include "platform/Unicode.h"
#include "platform/Messages.h"
#include "platform/WindowManager.h"
#include "webhost/DesktopBrowser.h"
#include "webhost/IBrowserEngine.h"
#include "webhost/PopupMessages.h"

namespace WebWindow {

// The browser's sink: every event posts activity to the target window; a finished document goes to the
// handlers; a new-window request marks its link read and sends web links to the desktop's browser.
template <class THandler>
class CWebBrowserEvents2 : public IEventSink {
  public:
    // Gets the link as UTF-8 and in the locale's character set, the two forms the store may hold.
    using MarkRead = std::function<void(const std::string& utf8Url, const std::string& ansiUrl)>;
    using OpenLink = std::function<void(const std::string& utf8Url)>;

    CWebBrowserEvents2(platform::HWND hWndTarget, MarkRead markRead,
                       OpenLink openLink = &DesktopBrowser::Open)
        : m_hWndTarget(hWndTarget), m_markRead(std::move(markRead)), m_openLink(std::move(openLink)) {}

    void AddHandler(THandler* handler) { m_handlers.push_back(handler); }

    void Invoke(int dispid, const EventArgs& args) override {
        platform::PostMessage(m_hWndTarget, WM_BROWSER_ACTIVITY, 0, 0);
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
        if (const std::optional<std::string> utf8 = platform::Utf16ToUtf8(link); utf8 && !utf8->empty()) {
            if (m_markRead) m_markRead(*utf8, platform::Utf16ToAnsi(link));
        }
        platform::PostMessage(m_hWndTarget, platform::WM_SHOWWINDOW, 0, 0);
        if (!m_openLink) return;
        const std::optional<std::string> target = platform::Utf16ToUtf8(args.url);
        if (target && DesktopBrowser::IsWebLink(*target)) m_openLink(*target);
    }

    platform::HWND m_hWndTarget;
    MarkRead m_markRead;
    OpenLink m_openLink;
    std::vector<THandler*> m_handlers;  // not owned
};

}  // namespace WebWindow
