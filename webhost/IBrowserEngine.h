#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/Rect.h"

namespace WebWindow {

// Event identifiers the host's sinks dispatch on.
constexpr int DISPID_STATUSTEXTCHANGE = 102;  // pointer entered or left a link/image
constexpr int DISPID_DOWNLOADBEGIN = 106;     // a response arrived for a navigation
constexpr int DISPID_PROGRESSCHANGE = 108;
constexpr int DISPID_TITLECHANGE = 113;
constexpr int DISPID_BEFORENAVIGATE2 = 250;
constexpr int DISPID_NAVIGATECOMPLETE2 = 252;
constexpr int DISPID_DOCUMENTCOMPLETE = 259;
constexpr int DISPID_NAVIGATEERROR = 271;
constexpr int DISPID_NEWWINDOW3 = 273;
constexpr int DISPID_MOUSEDOWN = -605;
constexpr int DISPID_FOCUSOUT = 1049;

struct EventArgs {
    std::u16string url;   // the target of a new-window request, as the engine parsed it
    std::u16string link;  // that target as the page's own text held it, when the page told us; else empty
};

// A plain event sink. The engine calls Invoke on the GUI thread. m_dwCookie is 0 while unconnected.
class IEventSink {
  public:
    virtual ~IEventSink() = default;
    virtual void Invoke(int dispid, const EventArgs& args) = 0;
    uint32_t m_dwCookie = 0;
};

enum class EventSource { Browser, Document, Element };

// What the host needs of an HTML engine. The WebKit implementation embeds a WebKitWebView; unit tests
// use a fake.
class IBrowserEngine {
  public:
    virtual ~IBrowserEngine() = default;

    // Builds the view inside the native container of `parent` at `rc` (parent client coordinates),
    // hidden. False when the engine cannot start.
    virtual bool Create(platform::HWND parent, const platform::Rect& rc) = 0;
    virtual void Navigate(const std::string& url) = 0;
    virtual void Show(bool visible) = 0;
    // True from the finished load of the page until the next navigation or Close.
    virtual bool HasDocument() const = 0;

    // Connects a sink and returns its cookie, or 0. Browser: every engine event. Document: focus-out.
    // Element: mouse-down on the element with id `elementId`; fails without a document or element.
    virtual uint32_t Advise(EventSource source, const std::string& elementId, IEventSink* sink) = 0;
    virtual bool Unadvise(EventSource source, uint32_t cookie) = 0;

    // Runs each UTF-8 text in the page's global scope, in order, and reports one success flag per
    // text. Without a document every flag is false and `done` runs before this returns.
    using ScriptDone = std::function<void(std::vector<bool>)>;
    virtual void RunScripts(std::vector<std::string> texts, ScriptDone done) = 0;

    // Disconnects every sink and tears the view down; no event or callback comes after it.
    virtual void Close() = 0;
};

// Disconnects a connected `sink` from `engine` (null for either does nothing); its cookie is 0 once the
// engine has let it go.
void DisconnectSink(IBrowserEngine* engine, EventSource source, IEventSink* sink);

}  // namespace WebWindow
