#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/CMessageMap.h"
#include "popup/IPopupSurface.h"
#include "popup/ShownList.h"
#include "popup/StoreWatch.h"
#include "store/ItemStore.h"
#include "webhost/CAnchorEvent.h"
#include "webhost/CButtonEvent.h"
#include "webhost/CDocumentEvents.h"
#include "webhost/CSendComplteHandler.h"
#include "webhost/CWebBrowserEvents2.h"
#include "webhost/CWebWindow.h"
#include "webhost/IBrowserEngine.h"
#include "webhost/PopupMessages.h"

// The popup while its window exists, else null. GUI thread only.
inline platform::HWND g_hwndPopup = nullptr;

// What the popup uses from outside; unit tests hand in fakes for the engine and the surface.
struct PopupServices {
    ItemStore& store;
    std::function<std::unique_ptr<WebWindow::IBrowserEngine>()> makeEngine;
    std::unique_ptr<IPopupSurface> surface;
    // Starts the poll worker; called once, on the TIMER_START_POLLING tick.
    std::function<void()> startPolling;
    // The executable whose resources the page comes from.
    std::string exePath;
    // Where web links from the page go; the desktop's browser unless a test says otherwise.
    std::function<void(const std::string&)> openLink = &WebWindow::DesktopBrowser::Open;
};

// The one top-level window: hosts the page, runs the refresh cycle and the page's actions.
class CPopupNewsWindow : public platform::CMessageMap {
  public:
    static constexpr int kWidth = 515;
    static constexpr int kHeight = 580;

    explicit CPopupNewsWindow(PopupServices services);
    ~CPopupNewsWindow() override;
    CPopupNewsWindow(const CPopupNewsWindow&) = delete;
    CPopupNewsWindow& operator=(const CPopupNewsWindow&) = delete;

    // Creates the window (WM_CREATE runs inside) with the size of `rc`; null on failure.
    platform::HWND Create(const platform::Rect& rc);
    // Centres the window in the primary monitor's work area.
    void CentreInWorkArea();

    bool ProcessWindowMessage(platform::HWND hWnd, platform::UINT uMsg, platform::WPARAM wParam,
                              platform::LPARAM lParam, platform::LRESULT& lResult,
                              uint32_t dwMsgMapID = 0) override;

  private:
    platform::LRESULT OnCreate(platform::HWND hWnd);
    // The browser child, its sinks and the navigation to the page.
    void CreatePage(int width, int height);
    void WatchStore();
    platform::LRESULT OnDestroy();
    platform::LRESULT OnTimer(uintptr_t id);
    void StartPollWorker();
    void OnRefreshTick();
    // (Re)starts TIMER_REFRESH, which then ticks every `ms`.
    void ArmRefresh(uint32_t ms);
    // Starts TIMER_REFRESH at `ms` unless it is running (held back, say).
    void WakeRefresh(uint32_t ms);
    void StopRefresh();
    // The store's file changed: whatever wrote it, the page shows it at once unless held back.
    void OnStoreChanged();
    // The tick's refresh, left out when the page already shows the store as it is; then true.
    bool RefreshUnlessShown();
    void OnBrowserActivity();
    platform::LRESULT OnMarkAllRead();
    platform::LRESULT OnRemoveAll();
    platform::LRESULT OnDocumentComplete();
    void DisconnectPageSinks();

    // What the page took of a refresh: its counts, and whether it took every call.
    struct RefreshResult {
        int64_t total = 0;
        int64_t unread = 0;
        bool whole = false;
        bool counted = false;  // the counts went with the calls, and the page took them
    };
    // Ends a refresh with what the page took and, when it took everything, the list it now shows.
    using RefreshDone = std::function<void(RefreshResult, ShownList)>;

    // The page bridge. A text runs asynchronously; `done` gets whether the page took it (false without
    // a page).
    void RunScript(const std::string& text, std::function<void(bool)> done = {});
    // Refreshes the page's list now, or right after the refresh in flight.
    void RefreshSoon();
    // Sends the page only what changed since the list it shows; a full refresh when that cannot be said.
    // The read marks are read again only when `marks`: one was written since the list was shown.
    void RefreshChanges(bool marks, RefreshDone done);
    // The store listed for a full refresh, with the calls that put it on the page.
    struct FullListing {
        std::optional<StoreVersion> version;
        std::optional<std::vector<ListedRow>> rows;
        std::vector<std::string> batch;  // ClearItems(), one AddAllItem per row, their InitAllNum()
    };
    FullListing ListForPage(std::optional<StoreVersion> version);
    // Rebuilds the page list from the store in one batch and counts the rows the page took.
    void RefreshItemList(std::optional<StoreVersion> version, RefreshDone done);
    // Counts sent with InitAllNum unless they went with the calls; the list counts as shown only if the
    // page is still the one refreshed.
    void FinishRefresh(std::optional<StoreVersion> version, uint64_t pageState, RefreshResult result,
                       ShownList list);
    WebWindow::IBrowserEngine* Document() const;

    std::unique_ptr<WebWindow::CDocumentEvents> m_pDocumentEvents;
    std::unique_ptr<CButtonEvent> m_pSetReadButtonEvent;
    std::unique_ptr<CButtonEvent> m_pRemoveButtonEvent;
    std::unique_ptr<CAnchorEvent> m_pCloseAnchorEvent;
    std::unique_ptr<WebWindow::CWebWindow> m_pWebWindow;
    std::unique_ptr<WebWindow::CSendComplteHandler> m_pCompleteHandler;
    std::unique_ptr<WebWindow::CWebBrowserEvents2<WebWindow::CSendComplteHandler>> m_pBrowserEvents;
    // The counts the page was last sent.
    int64_t m_nTotalCount = 0;
    int64_t m_nUnreadCount = 0;
    bool m_bRefreshStarted = false;
    // What TIMER_REFRESH runs at now; none while it is stopped (a watched store stops it while the page
    // is current).
    std::optional<uint32_t> m_nRefreshMs;
    std::unique_ptr<StoreWatch> m_pStoreWatch;

    PopupServices m_services;
    platform::HWND m_hWnd = nullptr;
    platform::Rect m_rcWindow{0, 0, kWidth, kHeight};
    bool m_bPollingStarted = false;
    bool m_bPageNavigated = false;
    bool m_bPageCompleted = false;
    // A refresh was sent to the page and its InitAllNum is not answered yet.
    bool m_bRefreshInFlight = false;
    // A change to show as soon as the refresh in flight ends.
    bool m_bRefreshAgain = false;
    // The store's version that the page shows in full, confirmed by the page, and that list; none after
    // a reload, a clearing or a refresh the page did not take whole.
    std::optional<StoreVersion> m_shownVersion;
    ShownList m_shownList;
    // Listed by a tick before the page completed, for the first full refresh if the store is unchanged.
    std::optional<FullListing> m_earlyListing;
    // Counts document completions and clearings of the list by the host, so that a refresh sent before
    // one never counts as shown.
    uint64_t m_nPageState = 0;
};
