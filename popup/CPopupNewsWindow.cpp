#include "popup/CPopupNewsWindow.h"

#include <algorithm>
#include <limits>
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

// Whether a stored read mark means "read": exactly "1".
bool IsRead(const std::string& top) { return top == "1"; }

int64_t UnreadIn(const ListedChanges& changes) {
    int64_t unread = 0;
    for (const ListedRow& row : changes.added) unread += IsRead(row.item.msg_top) ? 0 : 1;
    for (const RowMark& mark : changes.marks) unread += IsRead(mark.top) ? 0 : 1;
    return unread;
}

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
    m_bRefreshAgain = false;
    const int width = m_rcWindow.right - m_rcWindow.left;
    const int height = m_rcWindow.bottom - m_rcWindow.top;
    if (m_services.surface) m_services.surface->Create(hWnd, width, height);

    CreatePage(width, height);

    ArmRefresh(kFirstRefreshMs);
    platform::SetTimer(hWnd, TIMER_START_POLLING, kStartPollingMs);
    WatchStore();
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

void CPopupNewsWindow::CreatePage(int width, int height) {
    // The view sits one pixel inside, so the skin shows as a frame around it.
    const platform::Rect rcChild{1, 1, width - 1, height - 1};
    m_pCompleteHandler = std::make_unique<WebWindow::CSendComplteHandler>(m_hWnd, WM_POPUP_DOCUMENT_COMPLETE);
    m_pBrowserEvents = std::make_unique<WebWindow::CWebBrowserEvents2<WebWindow::CSendComplteHandler>>(
        m_hWnd,
        [&store = m_services.store](const std::string& utf8Url, const std::string& ansiUrl) {
            store.MarkReadByUrl(utf8Url, ansiUrl);
        },
        m_services.openLink);
    m_pBrowserEvents->AddHandler(m_pCompleteHandler.get());
    m_pWebWindow = std::make_unique<WebWindow::CWebWindow>(
        m_pBrowserEvents.get(), m_services.makeEngine ? m_services.makeEngine() : nullptr);
    if (m_pWebWindow->Create(m_hWnd, rcChild)) {
        const std::string pageUrl = WebWindow::PageUrl(m_services.exePath);
        if (m_services.surface) m_services.surface->SetClipboardText(pageUrl);
        m_pWebWindow->Navigate(pageUrl);
        m_bPageNavigated = true;
        m_pWebWindow->ShowWindow(true);
    }
}

void CPopupNewsWindow::WatchStore() {
    if (m_services.store.ModuleDir().empty()) return;
    m_pStoreWatch =
        std::make_unique<StoreWatch>(m_services.store.ModuleDir() + "rcd", [this] { OnStoreChanged(); });
    if (!m_pStoreWatch->IsWatching()) m_pStoreWatch.reset();  // the refresh then ticks every second
}

LRESULT CPopupNewsWindow::OnDestroy() {
    g_hwndPopup = nullptr;
    m_pStoreWatch.reset();
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

CPopupNewsWindow::FullListing CPopupNewsWindow::ListForPage(std::optional<StoreVersion> version) {
    FullListing listing{version, m_services.store.ListRows(), {std::string(ScriptText::kClearItems)}};
    int64_t unread = 0;
    if (listing.rows) {
        listing.batch.reserve(listing.rows->size() + 2);
        const std::string codeset = platform::AnsiCodeset();
        for (const ListedRow& row : *listing.rows) {
            listing.batch.push_back(ScriptText::AddAllItem(PageText::ForPage(row.item, codeset)));
            unread += IsRead(row.item.msg_top) ? 0 : 1;
        }
    }
    const auto total = static_cast<int64_t>(listing.batch.size() - 1);
    listing.batch.push_back(ScriptText::InitAllNum(unread, total));
    return listing;
}

void CPopupNewsWindow::RefreshItemList(std::optional<StoreVersion> version, RefreshDone done) {
    const bool early = m_earlyListing && version && m_earlyListing->version == version;
    WebWindow::IBrowserEngine* document = Document();
    if (!document) {
        // A page still loading gets the store listed now: the host's half of the first refresh then
        // overlaps the loading. The calls would fail at once: the list stays empty and both counts 0.
        if (m_bPageNavigated && !m_bPageCompleted && !early) m_earlyListing = ListForPage(version);
        done({}, {});
        return;
    }
    FullListing listing = early ? std::move(*m_earlyListing) : ListForPage(version);
    m_earlyListing.reset();
    // Only rows whose call the page took count; the first flag is ClearItems(), the last InitAllNum().
    auto count = [rows = std::move(listing.rows), done = std::move(done)](std::vector<bool> ok) {
        RefreshResult result;
        const size_t listed = rows ? rows->size() : 0;
        for (size_t i = 0; i < listed; ++i) {
            if (i + 1 < ok.size() && ok[i + 1]) {
                ++result.total;
                if (!IsRead((*rows)[i].item.msg_top)) ++result.unread;
            }
        }
        result.whole = rows && result.total == static_cast<int64_t>(listed) && !ok.empty() && ok.front();
        result.counted = result.whole && ok.size() == listed + 2 && ok.back();
        if (!result.whole) {
            platform::DebugLog("popup", "the page took " + std::to_string(result.total) + " of " +
                                            std::to_string(listed) + " rows");
        }
        done(result, result.whole ? ShownList(*rows) : ShownList());
    };
    document->RunScripts(std::move(listing.batch), std::move(count));
}

void CPopupNewsWindow::RefreshChanges(bool marks, RefreshDone done) {
    WebWindow::IBrowserEngine* document = Document();
    std::optional<ListedChanges> changes = m_services.store.ListChangesAbove(
        m_shownList.TopId().value_or(std::numeric_limits<int64_t>::min()), marks);
    // Without a read mark written since, the shown marks are still the stored ones.
    if (changes && !marks) changes->marks = m_shownList.Marks();
    std::optional<std::vector<std::string>> calls;
    if (changes && document) calls = m_shownList.ChangesTo(*changes, platform::AnsiCodeset());
    if (!calls) {
        RefreshItemList(std::nullopt, std::move(done));
        return;
    }
    RefreshResult result{static_cast<int64_t>(changes->added.size() + changes->marks.size()),
                         UnreadIn(*changes), true};
    ShownList list(std::move(*changes));
    if (calls->empty()) {
        done(result, std::move(list));
        return;
    }
    calls->push_back(ScriptText::InitAllNum(result.unread, result.total));
    document->RunScripts(std::move(*calls), [this, result, list = std::move(list),
                                             done = std::move(done)](std::vector<bool> ok) mutable {
        result.counted = std::find(ok.begin(), ok.end(), false) == ok.end();
        if (result.counted) {
            done(result, std::move(list));
        } else {
            // What the page shows now is unknown: say everything again.
            platform::DebugLog("popup", "the page refused a change; refreshing in full");
            RefreshItemList(std::nullopt, std::move(done));
        }
    });
}

void CPopupNewsWindow::FinishRefresh(std::optional<StoreVersion> version, uint64_t pageState,
                                     RefreshResult result, ShownList list) {
    auto finish = [this, version, pageState, result, list = std::move(list)](bool counted) mutable {
        m_bRefreshInFlight = false;
        m_nTotalCount = result.total;
        m_nUnreadCount = result.unread;
        const bool shown = version && result.whole && counted && pageState == m_nPageState;
        m_shownVersion = shown ? version : std::nullopt;
        m_shownList = shown ? std::move(list) : ShownList();
        if (!shown) WakeRefresh(kRefreshMs);  // the next tick tries again
        if (m_bRefreshAgain) {
            m_bRefreshAgain = false;
            RefreshUnlessShown();
        }
    };
    if (result.counted) {
        finish(true);
    } else {
        RunScript(ScriptText::InitAllNum(result.unread, result.total), std::move(finish));
    }
}

void CPopupNewsWindow::OnRefreshTick() {
    const bool current = !m_bRefreshInFlight && RefreshUnlessShown();
    m_bRefreshStarted = true;
    // A watched store says when it changes: until then a current page needs no tick, and the idle
    // process no wake-up.
    if (current && m_pStoreWatch) {
        StopRefresh();
        return;
    }
    // The window's timers repeat: one already running every second is left alone, which spares the
    // main loop a new timer source each second.
    if (m_nRefreshMs != kRefreshMs) ArmRefresh(kRefreshMs);
}

void CPopupNewsWindow::ArmRefresh(uint32_t ms) {
    platform::KillTimer(m_hWnd, TIMER_REFRESH);
    platform::SetTimer(m_hWnd, TIMER_REFRESH, ms);
    m_nRefreshMs = ms;
}

void CPopupNewsWindow::WakeRefresh(uint32_t ms) {
    if (!m_nRefreshMs) ArmRefresh(ms);
}

void CPopupNewsWindow::StopRefresh() {
    platform::KillTimer(m_hWnd, TIMER_REFRESH);
    m_nRefreshMs.reset();
}

void CPopupNewsWindow::OnStoreChanged() {
    if (m_bRefreshStarted) WakeRefresh(0);
}

bool CPopupNewsWindow::RefreshUnlessShown() {
    // Taken before listing: a write that lands in between makes the next tick refresh again.
    const std::optional<StoreVersion> version = m_services.store.Version();
    if (version && version == m_shownVersion) return true;  // the page already shows exactly this
    m_bRefreshInFlight = true;
    RefreshDone finish = [this, version, pageState = m_nPageState](RefreshResult result, ShownList list) {
        FinishRefresh(version, pageState, result, std::move(list));
    };
    // Only this program's own inserts and read marks are known to be new rows on top and changed marks;
    // another connection may have changed anything, and a deletion renumbers the rows. Without a read
    // mark of ours since, only the new rows need reading.
    if (version && m_shownVersion && version->dataVersion == m_shownVersion->dataVersion &&
        version->removals == m_shownVersion->removals) {
        RefreshChanges(version->markings != m_shownVersion->markings, std::move(finish));
    } else {
        RefreshItemList(version, std::move(finish));
    }
    return false;
}

void CPopupNewsWindow::RefreshSoon() {
    if (m_bRefreshInFlight) {
        m_bRefreshAgain = true;
    } else {
        RefreshUnlessShown();
    }
}

void CPopupNewsWindow::OnBrowserActivity() {
    if (!m_bRefreshStarted) return;
    ArmRefresh(kHeldBackMs);
}

LRESULT CPopupNewsWindow::OnMarkAllRead() {
    m_services.store.MarkAllRead();
    RefreshSoon();
    return 0;
}

LRESULT CPopupNewsWindow::OnRemoveAll() {
    m_services.store.RemoveAllItems();
    // The page's list is empty from here on, whatever a refresh in flight says.
    ++m_nPageState;
    m_shownVersion.reset();
    m_shownList = ShownList();
    WakeRefresh(kRefreshMs);
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
        ArmRefresh(0);
    } else {
        WakeRefresh(kRefreshMs);
    }
    m_bPageCompleted = true;
    // A loaded page starts with an empty list.
    ++m_nPageState;
    m_shownVersion.reset();
    m_shownList = ShownList();
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
