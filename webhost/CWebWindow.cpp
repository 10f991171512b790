#include "webhost/CWebWindow.h"

#include <utility>

#include "platform/WindowManager.h"

namespace WebWindow {

CWebWindow::CWebWindow(IEventSink* pEvents, std::unique_ptr<IBrowserEngine> engine)
    : m_pEvents(pEvents), m_pEngine(std::move(engine)) {}

CWebWindow::~CWebWindow() {
    DestroyChild();
    DestroyBrowser();  // when the window never existed
}

bool CWebWindow::Create(platform::HWND parent, const platform::Rect& rc) {
    m_rcWindow = rc;
    m_hWndParent = parent;
    m_hWnd = platform::CreateWindow(this, parent);
    return platform::IsWindow(m_hWnd);
}

void CWebWindow::Navigate(const std::string& url) {
    if (m_bBrowserStarted) m_pEngine->Navigate(url);
}

IBrowserEngine* CWebWindow::GetDocument() const {
    return m_bBrowserStarted && m_pEngine->HasDocument() ? m_pEngine.get() : nullptr;
}

void CWebWindow::ShowWindow(bool show) {
    if (m_bBrowserStarted) m_pEngine->Show(show);
}

bool CWebWindow::DestroyChild() {
    if (platform::IsWindow(m_hWnd)) platform::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return true;
}

bool CWebWindow::ProcessWindowMessage(platform::HWND, platform::UINT uMsg, platform::WPARAM, platform::LPARAM,
                                      platform::LRESULT& lResult, uint32_t dwMsgMapID) {
    if (dwMsgMapID != 0) return false;
    switch (uMsg) {
        case platform::WM_CREATE:
            CreateBrowser();
            lResult = 0;
            return true;
        case platform::WM_DESTROY:
            DestroyBrowser();
            lResult = 0;
            return true;
        case platform::WM_ACTIVATE:
        case platform::WM_PAINT:
            lResult = 0;  // the component covers the window and takes focus itself
            return true;
        case platform::WM_CLOSE:
            ShowWindow(false);
            lResult = 0;
            return true;
        case platform::WM_ERASEBKGND:
            lResult = 1;
            return true;
        default:
            return false;
    }
}

// The view is placed in the parent's native container at the child's rectangle, which puts the
// component at (0, 0, width, height) of the child.
void CWebWindow::CreateBrowser() {
    if (!m_pEngine || !m_pEngine->Create(m_hWndParent, m_rcWindow)) return;
    m_bBrowserStarted = true;
    if (m_pEvents != nullptr) m_pEvents->m_dwCookie = m_pEngine->Advise(EventSource::Browser, "", m_pEvents);
}

void CWebWindow::DestroyBrowser() {
    if (!m_pEngine) return;
    DisconnectSink(m_pEngine.get(), EventSource::Browser, m_pEvents);
    m_pEngine->Close();
    m_pEngine.reset();
    m_bBrowserStarted = false;
}

}  // namespace WebWindow
