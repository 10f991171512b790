#include "webhost/PageChannel.h"

#include <optional>

namespace WebWindow {
namespace {

constexpr const char* kHostWorld = "notifier-host";
constexpr const char* kHostChannel = "notifierHost";

// Runs in the host's isolated world, in the top frame of res: pages only. The page's own world has no
// window.webkit, so neither the page's scripts nor its frames can post here; untrusted (script-made)
// events are dropped.
constexpr const char* kHostScript = R"JS((function () {
  'use strict';
  const channel = window.webkit.messageHandlers.notifierHost;
  const post = (message) => channel.postMessage(message);
  const idsFrom = (node) => {
    const ids = [];
    for (let n = node; n; n = n.parentNode) {
      if (n.nodeType === Node.ELEMENT_NODE && n.id) ids.push(n.id);
    }
    return ids;
  };
  const reportIds = () => post({type: 'ids', ids: Array.from(document.querySelectorAll('[id]'), (e) => e.id)});
  // Only the primary button presses the page's buttons and anchors.
  window.addEventListener('mousedown', (e) => {
    if (e.isTrusted && e.button === 0) post({type: 'mousedown', ids: idsFrom(e.target)});
  }, true);
  // An item button opens its link with window.open, and the request reaches the host parsed (host
  // lower-cased, default port dropped, escapes added). The store holds the link as the page does, so
  // tell the host which text each parsed form came from; URL here is the parser window.open uses.
  window.addEventListener('click', (e) => {
    if (!e.isTrusted || e.button !== 0 || !(e.target instanceof Element)) return;
    const button = e.target.closest('button[name=button_detail], button[name=button_buy]');
    if (!button) return;
    const raw = button.getAttribute(button.name === 'button_detail' ? 'detail_url' : 'buy_url');
    if (raw === null) return;
    let href;
    try {
      href = new URL(raw, document.baseURI).href;
    } catch (err) {
      return;  // window.open refuses it too
    }
    post({type: 'link', raw: raw, href: href});
  }, true);
  document.addEventListener('focusout', (e) => {
    if (e.isTrusted) post({type: 'focusout'});
  }, true);
  window.addEventListener('blur', (e) => {
    if (e.isTrusted && e.target === window) post({type: 'focusout'});
  });
  document.addEventListener('DOMContentLoaded', reportIds);
  window.addEventListener('load', reportIds);
})();)JS";

std::string StringProperty(JSCValue* object, const char* name) {
    g_autoptr(JSCValue) value = jsc_value_object_get_property(object, name);
    if (!jsc_value_is_string(value)) return {};
    g_autofree gchar* text = jsc_value_to_string(value);
    return text;
}

std::vector<std::string> StringArrayProperty(JSCValue* object, const char* name) {
    std::vector<std::string> out;
    g_autoptr(JSCValue) array = jsc_value_object_get_property(object, name);
    if (!jsc_value_is_array(array)) return out;
    g_autoptr(JSCValue) length = jsc_value_object_get_property(array, "length");
    const int n = jsc_value_to_int32(length);
    for (int i = 0; i < n; ++i) {
        g_autoptr(JSCValue) item = jsc_value_object_get_property_at_index(array, static_cast<guint>(i));
        if (!jsc_value_is_string(item)) continue;
        g_autofree gchar* text = jsc_value_to_string(item);
        out.emplace_back(text);
    }
    return out;
}

std::optional<PageMessage> Read(JSCValue* message) {
    if (!jsc_value_is_object(message)) return std::nullopt;
    const std::string type = StringProperty(message, "type");
    PageMessage read;
    if (type == "ids") {
        read.kind = PageMessage::Kind::Ids;
        read.ids = StringArrayProperty(message, "ids");
    } else if (type == "mousedown") {
        read.kind = PageMessage::Kind::MouseDown;
        read.ids = StringArrayProperty(message, "ids");
    } else if (type == "focusout") {
        read.kind = PageMessage::Kind::FocusOut;
    } else if (type == "link") {
        read.kind = PageMessage::Kind::Link;
        read.href = StringProperty(message, "href");
        read.raw = StringProperty(message, "raw");
    } else {
        return std::nullopt;
    }
    return read;
}

}  // namespace

PageChannel::PageChannel(Listener& listener)
    : m_listener(listener), m_contentManager(webkit_user_content_manager_new()) {
    const gchar* const allowList[] = {"res:///*", nullptr};
    g_autoptr(WebKitUserScript) script = webkit_user_script_new_for_world(
        kHostScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START,
        kHostWorld, allowList, nullptr);
    webkit_user_content_manager_add_script(m_contentManager.get(), script);
    g_signal_connect(m_contentManager.get(), "script-message-received::notifierHost",
                     G_CALLBACK(OnScriptMessage), this);
    webkit_user_content_manager_register_script_message_handler_in_world(m_contentManager.get(), kHostChannel,
                                                                         kHostWorld);
}

PageChannel::~PageChannel() {
    g_signal_handlers_disconnect_by_data(m_contentManager.get(), this);
    webkit_user_content_manager_unregister_script_message_handler_in_world(m_contentManager.get(),
                                                                           kHostChannel, kHostWorld);
}

void PageChannel::OnScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    const std::optional<PageMessage> message = Read(webkit_javascript_result_get_js_value(result));
    if (message) static_cast<PageChannel*>(self)->m_listener.OnPageMessage(*message);
}

}  // namespace WebWindow
