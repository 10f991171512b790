#pragma once

#include <memory>
#include <string>
#include <utility>

#include "platform/CMessageMap.h"
#include "platform/WindowManager.h"
#include "webhost/IBrowserEngine.h"

namespace WebWindow {

// The child window that carries the browser component inside the popup. THandler, the completion
// handler type of the browser sink whose pointer the window carries, is kept for the design: the window
// only connects that sink.
template <class THandler>
class CWebWindow : public platform::CMessageMap {
  public:
    CWebWindow(IEventSink* pEvents, std::unique_ptr<IBrowserEngine> engine)
        : m_pEvents(pEvents), m_pEngine(std::move(engine)) {}

    ~CWebWindow() override {
        DestroyChild();
        DestroyBrowser();  // when the window never existed
    }

    CWebWindow(const CWebWindow&) = delete;
    CWebWindow& operator=(const CWebWindow&) = delete;

    // Creates the child window at `rc` in the parent's client coordinates, with the component filling
    // it; true when the child window exists. The component may still have failed to start, in which
    // case Navigate does nothing and GetDocument stays null.
    bool Create(platform::HWND parent, const Rect& rc) {
        m_rcWindow = rc;
        m_rcClient = Rect{0, 0, rc.right - rc.left, rc.bottom - rc.top};
        m_hWndParent = parent;
        m_hWnd = platform::CreateWindow(this, parent);
        return platform::IsWindow(m_hWnd);
    }

    void Navigate(const std::string& url) {
        if (m_bBrowserStarted) m_pEngine->Navigate(url);
    }

    // The component while it shows a loaded document, else null.
    IBrowserEngine* GetDocument() const {
        return m_bBrowserStarted && m_pEngine->HasDocument() ? m_pEngine.get() : nullptr;
    }

    void ShowWindow(bool show) {
        if (m_bBrowserStarted) m_pEngine->Show(show);
    }

    bool DestroyChild() {
        if (platform::IsWindow(m_hWnd)) platform::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
        return true;
    }

    bool ProcessWindowMessage(platform::HWND, platform::UINT uMsg, platform::WPARAM, platform::LPARAM,
                              platform::LRESULT& lResult, uint32_t dwMsgMapID = 0) override {
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

    platform::HWND m_hWnd = nullptr;
    Rect m_rcWindow;
    IEventSink* m_pEvents;
    Rect m_rcClient;  // kept for the design: the component fills the child, so nothing reads it

  private:
    // The view is placed in the parent's native container at the child's rectangle, which puts the
    // component at (0, 0, width, height) of the child.
    void CreateBrowser() {
        if (!m_pEngine || !m_pEngine->Create(m_hWndParent, m_rcWindow)) return;
        m_bBrowserStarted = true;
        if (m_pEvents != nullptr)
            m_pEvents->m_dwCookie = m_pEngine->Advise(EventSource::Browser, "", m_pEvents);
    }

    void DestroyBrowser() {
        if (!m_pEngine) return;
        if (m_pEvents != nullptr && m_pEvents->m_dwCookie != 0 &&
            m_pEngine->Unadvise(EventSource::Browser, m_pEvents->m_dwCookie)) {
            m_pEvents->m_dwCookie = 0;
        }
        m_pEngine->Close();
        m_pEngine.reset();
        m_bBrowserStarted = false;
    }

    std::unique_ptr<IBrowserEngine> m_pEngine;
    platform::HWND m_hWndParent = nullptr;
    bool m_bBrowserStarted = false;
};

}  // namespace WebWindow
