#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "platform/GObjectPtr.h"
#include "webhost/CBrowserSite.h"
#include "webhost/IBrowserEngine.h"
#include "webhost/PageChannel.h"
#include "webhost/ResourceScheme.h"

namespace WebWindow {

// The browser component on WebKitGTK: one WebKitWebView in an ephemeral web context of its own, serving
// the "res" scheme from a resource bundle.
//
// Browser sinks receive, once the first document of the page has completed, every load, policy, title,
// progress and hover signal as an event. Before that first completion only DISPID_DOCUMENTCOMPLETE and
// DISPID_NEWWINDOW3 are delivered, so that the page's own start-up does not count as activity.
//
// Element mouse-down and document focus-out come through the page channel. A new-window event carries
// the link as the page held it, when the channel reported it, beside the URI WebKit parsed from it.
class WebKitEngine : public IBrowserEngine, private PageChannel::Listener {
  public:
    WebKitEngine(GResource* resources, std::string resourcePrefix, std::string exePath,
                 ResourceScheme::Overrides overrides = {});
    ~WebKitEngine() override;
    WebKitEngine(const WebKitEngine&) = delete;
    WebKitEngine& operator=(const WebKitEngine&) = delete;

    bool Create(platform::HWND parent, const platform::Rect& rc) override;
    void Navigate(const std::string& url) override;
    void Show(bool visible) override;
    bool HasDocument() const override;
    uint32_t Advise(EventSource source, const std::string& elementId, IEventSink* sink) override;
    bool Unadvise(EventSource source, uint32_t cookie) override;
    void RunScripts(std::vector<std::string> texts, ScriptDone done) override;
    void Close() override;

    // The view, for tests that need its place on screen; null before Create and after Close.
    GtkWidget* Widget() const { return m_view ? GTK_WIDGET(m_view.get()) : nullptr; }

  private:
    struct Connection {
        EventSource source;
        std::string elementId;
        IEventSink* sink;
    };

    void ConnectSignals();
    void Fire(EventSource source, int dispid, const EventArgs& args = {});
    void Deliver(const std::vector<uint32_t>& cookies, int dispid, const EventArgs& args);
    void FireBrowser(int dispid, const EventArgs& args = {});
    bool MayLoad(const char* uri) const;
    void OnPageMessage(const PageMessage& message) override;
    void OnMouseDown(const std::vector<std::string>& ids);
    bool ShowsPage() const;
    void ReportNewWindow(const char* uri);
    void RememberLink(const std::string& href, const std::string& raw);

    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self);
    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer self);
    static GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer self);
    static void OnTitle(GObject*, GParamSpec*, gpointer self);
    static void OnProgress(GObject*, GParamSpec*, gpointer self);
    static void OnMouseTarget(WebKitWebView*, WebKitHitTestResult*, guint, gpointer self);

    ResourceScheme m_scheme;
    platform::GObjectPtr<WebKitWebContext> m_context;
    std::unique_ptr<PageChannel> m_channel;
    platform::GObjectPtr<WebKitWebView> m_view;  // ours, besides the container's
    std::unique_ptr<CBrowserSite> m_site;
    // From Create to Close. Every script answer and every event delivery checks it, so nothing reaches
    // a closed or destroyed engine.
    platform::GObjectPtr<GCancellable> m_lifetime;

    std::string m_pageUrl;  // without fragment
    bool m_hasDocument = false;
    bool m_loadFailed = false;
    bool m_firstCompleteSeen = false;
    std::set<std::string> m_elementIds;              // ids present in the loaded page
    std::map<std::string, std::string> m_pageLinks;  // parsed link -> the page's text of it
    std::map<uint32_t, Connection> m_connections;
    uint32_t m_nextCookie = 1;
};

// The WebKit engine serving `resources` under `resourcePrefix`, and `overrides` before them, for pages of
// the executable `exePath`.
std::unique_ptr<IBrowserEngine> MakeWebKitEngine(GResource* resources, std::string resourcePrefix,
                                                 std::string exePath,
                                                 ResourceScheme::Overrides overrides = {});

}  // namespace WebWindow
