#include "popup/CPopupNewsWindow.h"

#include <utility>
#include <vector>

#include "platform/AnsiCodePage.h"
#include "platform/DebugLog.h"
#include "platform/WindowManager.h"
#include "popup/PageText.h"
#include "popup/ScriptText.h"
#include "popup/WindowPlacement.h"
#include "popup/WindowShape.h"
#include "webhost/ResourceScheme.h"

using platform::LRESULT;
using WebWindow::EventSource;

namespace {

constexpr uint32_t kFirstRefreshMs = 300;
constexpr uint32_t kRefreshMs = 1000;
constexpr uint32_t kHeldBackMs = 10000;
constexpr uint32_t kStartPollingMs = 5000;
// The outline's corner ellipse; the window's own rectangle is the shape's extent.
constexpr int kCornerEllipse = 7;

// Whether a text's stored read mark means "read": exactly "1".
bool IsRead(const FeedItem& item) { return item.msg_top == "1"; }

}  // namespace

CPopupNewsWindow::CPopupNewsWindow(PopupServices services) : m_services(std::move(services)) {}

CPopupNewsWindow::~CPopupNewsWindow() {
    if (m_hWnd && platform::IsWindow(m_hWnd)) platform::DestroyWindow(m_hWnd);
    m_services.surface.reset();
}

platform::HWND CPopupNewsWindow::Create(const platform::Rect& rc) {
    m_rcWindow = rc;
    return platform::CreateWindow(this, nullptr);
}

void CPopupNewsWindow::CentreInWorkArea() {
    if (!m_services.surface) return;
    const WindowPlacement at =
        WindowPlacement::CentreInWorkArea(m_rcWindow.right - m_rcWindow.left,
                                          m_rcWindow.bottom - m_rcWindow.top, m_services.surface->WorkArea());
    m_services.surface->Move(at.x, at.y);
}

bool CPopupNewsWindow::ProcessWindowMessage(platform::HWND hWnd, platform::UINT uMsg, platform::WPARAM wParam,
                                            platform::LPARAM, LRESULT& lResult, uint32_t) {
    switch (uMsg) {
        case platform::WM_CREATE:
            lResult = OnCreate(hWnd);
            return true;
        case platform::WM_DESTROY:
            lResult = OnDestroy();
            return true;
        case platform::WM_PAINT:
            if (m_services.surface) m_services.surface->Redraw();
            lResult = 0;
            return true;
        // The popup never hides, moves or resizes itself in answer to these.
        case platform::WM_KILLFOCUS:
        case platform::WM_SHOWWINDOW:
        case platform::WM_WINDOWPOSCHANGED:
        case WM_POPUP_FOCUS_LOST:
            lResult = 0;
            return true;
        case platform::WM_TIMER:
            lResult = OnTimer(wParam);
            return true;
        case WM_POPUP_DOCUMENT_COMPLETE:
            lResult = OnDocumentComplete();
            return true;
        case WM_MARK_ALL_READ:
            lResult = OnMarkAllRead();
            return true;
        case WM_REMOVE_ALL:
            lResult = OnRemoveAll();
            return true;
        case WM_BROWSER_ACTIVITY:
            OnBrowserActivity();
            lResult = 0;
            return true;
        case WM_CLOSE_POPUP:
            platform::DestroyWindow(hWnd);
            lResult = 0;
            return true;
        default:
            return false;
    }
}

LRESULT CPopupNewsWindow::OnCreate(platform::HWND hWnd) {
    m_hWnd = hWnd;
    m_nTotalCount = 0;
    m_nUnreadCount = 0;
    m_bRefreshStarted = false;
    m_bRefreshInFlight = false;
    const int width = m_rcWindow.right - m_rcWindow.left;
    const int height = m_rcWindow.bottom - m_rcWindow.top;
    if (m_services.surface) m_services.surface->Create(hWnd, width, height);

    // The view sits one pixel inside, so the skin shows as a frame around it.
    const platform::Rect rcChild{1, 1, width - 1, height - 1};
    m_pCompleteHandler = std::make_unique<WebWindow::CSendComplteHandler>(hWnd, WM_POPUP_DOCUMENT_COMPLETE);
    m_pBrowserEvents = std::make_unique<WebWindow::CWebBrowserEvents2<WebWindow::CSendComplteHandler>>(
        hWnd,
        [&store = m_services.store](const std::string& utf8Url, const std::string& ansiUrl) {
            store.MarkReadByUrl(utf8Url, ansiUrl);
        },
        m_services.openLink);
    m_pBrowserEvents->AddHandler(m_pCompleteHandler.get());
    m_pWebWindow = std::make_unique<WebWindow::CWebWindow>(
        m_pBrowserEvents.get(), m_services.makeEngine ? m_services.makeEngine() : nullptr);
    if (m_pWebWindow->Create(hWnd, rcChild)) {
        const std::string pageUrl = WebWindow::PageUrl(m_services.exePath);
        if (m_services.surface) m_services.surface->SetClipboardText(pageUrl);
        m_pWebWindow->Navigate(pageUrl);
        m_pWebWindow->ShowWindow(true);
    }

    platform::SetTimer(hWnd, TIMER_REFRESH, kFirstRefreshMs);
    platform::SetTimer(hWnd, TIMER_START_POLLING, kStartPollingMs);
    g_hwndPopup = hWnd;

    if (m_services.surface) {
        // Without a skin the frame stays unpainted; the popup works the same.
        m_services.surface->LoadSkin();
        m_services.surface->SetShape(WindowShape::RoundedRect(width, height, kCornerEllipse, kCornerEllipse));
        m_services.surface->Show();
        m_services.surface->Focus();
    }
    return 0;
}

LRESULT CPopupNewsWindow::OnDestroy() {
    g_hwndPopup = nullptr;
    DisconnectPageSinks();
    m_pWebWindow.reset();
    m_pCompleteHandler.reset();
    m_pBrowserEvents.reset();
    if (m_services.surface) m_services.surface->Destroy();
    m_hWnd = nullptr;
    platform::PostQuitMessage(0);
    return 0;
}

LRESULT CPopupNewsWindow::OnTimer(uintptr_t id) {
    if (id == TIMER_REFRESH) {
        OnRefreshTick();
    } else if (id == TIMER_START_POLLING) {
        StartPollWorker();
    }
    return 0;
}

void CPopupNewsWindow::StartPollWorker() {
    platform::KillTimer(m_hWnd, TIMER_START_POLLING);
    if (m_bPollingStarted) return;
    m_bPollingStarted = true;
    if (m_services.startPolling) m_services.startPolling();
}

WebWindow::IBrowserEngine* CPopupNewsWindow::Document() const {
    return m_pWebWindow ? m_pWebWindow->GetDocument() : nullptr;
}

void CPopupNewsWindow::RunScript(const std::string& text, std::function<void(bool)> done) {
    WebWindow::IBrowserEngine* document = Document();
    if (!document) {
        if (done) done(false);
        return;
    }
    document->RunScripts({text}, [done = std::move(done)](std::vector<bool> ok) {
        if (done) done(!ok.empty() && ok.front());
    });
}

void CPopupNewsWindow::RefreshItemList(std::function<void(bool)> then) {
    m_nTotalCount = 0;
    m_nUnreadCount = 0;
    WebWindow::IBrowserEngine* document = Document();
    if (!document) {
        // Every call would fail at once: the list stays empty and both counts 0.
        if (then) then(false);
        return;
    }
    std::vector<std::string> batch{std::string(ScriptText::kClearItems)};
    std::vector<bool> unread;
    auto rows = m_services.store.ListItems();
    if (rows) {
        batch.reserve(rows->size() + 1);
        unread.reserve(rows->size());
        const std::string codeset = platform::AnsiCodeset();
        for (const FeedItem& row : *rows) {
            batch.push_back(ScriptText::AddAllItem(PageText::ForPage(row, codeset)));
            unread.push_back(!IsRead(row));
        }
    }
    const bool listed = rows.has_value();
    // Only rows whose call the page took count; the first flag is ClearItems().
    auto count = [this, listed, unread = std::move(unread), then = std::move(then)](std::vector<bool> ok) {
        int64_t total = 0;
        int64_t unreadCount = 0;
        for (size_t i = 0; i < unread.size(); ++i) {
            if (i + 1 < ok.size() && ok[i + 1]) {
                ++total;
                if (unread[i]) ++unreadCount;
            }
        }
        m_nTotalCount = total;
        m_nUnreadCount = unreadCount;
        const bool whole = total == static_cast<int64_t>(unread.size());
        if (!whole) {
            platform::DebugLog("popup", "the page took " + std::to_string(total) + " of " +
                                            std::to_string(unread.size()) + " rows");
        }
        if (then) then(listed && whole && !ok.empty() && ok.front());
    };
    document->RunScripts(std::move(batch), std::move(count));
}

void CPopupNewsWindow::OnRefreshTick() {
    platform::KillTimer(m_hWnd, TIMER_REFRESH);
    if (!m_bRefreshInFlight) RefreshUnlessShown();
    m_bRefreshStarted = true;
    platform::SetTimer(m_hWnd, TIMER_REFRESH, kRefreshMs);
}

void CPopupNewsWindow::RefreshUnlessShown() {
    // Taken before listing: a write that lands in between makes the next tick refresh again.
    const std::optional<StoreVersion> version = m_services.store.Version();
    if (version && version == m_shownVersion) return;  // the page already shows exactly this
    m_bRefreshInFlight = true;
    RefreshItemList([this, version, pageLoads = m_nPageLoads](bool listWhole) {
        RunScript(ScriptText::InitAllNum(m_nUnreadCount, m_nTotalCount),
                  [this, version, pageLoads, listWhole](bool counted) {
                      m_bRefreshInFlight = false;
                      const bool shown = listWhole && counted && pageLoads == m_nPageLoads;
                      m_shownVersion = shown ? version : std::nullopt;
                  });
    });
}

void CPopupNewsWindow::OnBrowserActivity() {
    if (!m_bRefreshStarted) return;
    platform::KillTimer(m_hWnd, TIMER_REFRESH);
    platform::SetTimer(m_hWnd, TIMER_REFRESH, kHeldBackMs);
}

LRESULT CPopupNewsWindow::OnMarkAllRead() {
    m_services.store.MarkAllRead();
    RunScript(std::string(ScriptText::kClearItems));
    RefreshItemList([this](bool) { RunScript(ScriptText::InitAllNum(0, m_nTotalCount)); });
    return 0;
}

LRESULT CPopupNewsWindow::OnRemoveAll() {
    m_services.store.RemoveAllItems();
    RunScript(std::string(ScriptText::kClearItems));
    RunScript(ScriptText::InitAllNum(0, 0));
    return 0;
}

void CPopupNewsWindow::DisconnectPageSinks() {
    WebWindow::IBrowserEngine* document = Document();
    WebWindow::DisconnectSink(document, EventSource::Document, m_pDocumentEvents.get());
    WebWindow::DisconnectSink(document, EventSource::Element, m_pSetReadButtonEvent.get());
    WebWindow::DisconnectSink(document, EventSource::Element, m_pRemoveButtonEvent.get());
    WebWindow::DisconnectSink(document, EventSource::Element, m_pCloseAnchorEvent.get());
    m_pDocumentEvents.reset();
    m_pSetReadButtonEvent.reset();
    m_pRemoveButtonEvent.reset();
    m_pCloseAnchorEvent.reset();
}

LRESULT CPopupNewsWindow::OnDocumentComplete() {
    // The list goes up as soon as the page can take it: the page's first completion is not activity
    // that holds the refresh back, even when the first tick ran against the unfinished page.
    if (!m_bPageCompleted && m_bRefreshStarted) {
        platform::KillTimer(m_hWnd, TIMER_REFRESH);
        platform::SetTimer(m_hWnd, TIMER_REFRESH, 0);
    }
    m_bPageCompleted = true;
    // A loaded page starts with an empty list.
    ++m_nPageLoads;
    m_shownVersion.reset();
    // A page that completes again (a frame, a reload) gets fresh sinks; the old ones go first.
    DisconnectPageSinks();
    WebWindow::IBrowserEngine* document = Document();
    m_pDocumentEvents = std::make_unique<WebWindow::CDocumentEvents>(m_hWnd, WM_POPUP_FOCUS_LOST);
    m_pDocumentEvents->ConnectTo(document);
    m_pSetReadButtonEvent = std::make_unique<CButtonEvent>(m_hWnd, CButtonEvent::kMarkAllRead);
    m_pSetReadButtonEvent->ConnectTo(document, "all_notify_setread");
    m_pRemoveButtonEvent = std::make_unique<CButtonEvent>(m_hWnd, CButtonEvent::kRemoveAll);
    m_pRemoveButtonEvent->ConnectTo(document, "all_notify_remove");
    m_pCloseAnchorEvent = std::make_unique<CAnchorEvent>(m_hWnd);
    m_pCloseAnchorEvent->ConnectTo(document, "button_close");
    return 0;
}
