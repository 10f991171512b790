#include "app/NotifierApp.h"

#include <clocale>
#include <csignal>
#include <memory>
#include <stop_token>

#include <glib-unix.h>

#include "feed/CurlGlobal.h"
#include "feed/FeedPoller.h"
#include "platform/ExecutablePath.h"
#include "platform/WindowManager.h"
#include "popup/CPopupNewsWindow.h"
#include "popup/GtkPopupSurface.h"
#include "popup/PollWorker.h"
#include "res/PageResources.h"
#include "res/PopupPage.h"
#include "store/ItemStore.h"
#include "webhost/GtkStartup.h"
#include "webhost/WebKitEngine.h"

namespace {

// SIGTERM and SIGINT close the popup the way the window manager's close does.
gboolean OnTerminate(gpointer) {
    platform::PostMessage(g_hwndPopup, platform::WM_CLOSE, 0, 0);
    return G_SOURCE_CONTINUE;
}

class SignalWatch {
  public:
    explicit SignalWatch(int signum) : m_id(g_unix_signal_add(signum, OnTerminate, nullptr)) {}
    ~SignalWatch() {
        if (m_id) g_source_remove(m_id);
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

  private:
    guint m_id;
};

}  // namespace

int RunNotifier(ItemStore& store, const std::string& feedUrl, const std::string& homeUrl, int argc,
                char** argv) {
    std::setlocale(LC_ALL, "");
    CurlGlobal curl;
    // The window's class, which the desktop entry's StartupWMClass names, whatever the file is called.
    g_set_prgname("deals-notifier");
    if (!WebWindow::StartGtk(argc > 0 ? argv[0] : nullptr)) return 1;
    const std::string exePath = platform::ExecutablePath();
    const WebWindow::ResourceScheme::Overrides pages{{kPopupPageKey, PopupPage(homeUrl)}};

    // Declared before the popup so that it is stopped and joined after the popup is gone.
    FeedPoller poller(feedUrl, store);
    PollWorker worker([&poller](std::stop_token stop) { poller.PollOnce(stop); });
    {
        CPopupNewsWindow popup(PopupServices{
            .store = store,
            .makeEngine =
                [&exePath, &pages] {
                    return WebWindow::MakeWebKitEngine(PageResources(), kPageResourcePrefix, exePath, pages);
                },
            .surface = std::make_unique<GtkPopupSurface>(PageResources(),
                                                         std::string(kPageResourcePrefix) + "/png/133"),
            .startPolling = [&worker] { worker.Start(); },
            .exePath = exePath,
        });
        if (!popup.Create({0, 0, CPopupNewsWindow::kWidth, CPopupNewsWindow::kHeight})) return 1;
        popup.CentreInWorkArea();
        SignalWatch term(SIGTERM);
        SignalWatch interrupt(SIGINT);
        platform::RunMessageLoop();
    }
    worker.Stop();
    return 0;
}
