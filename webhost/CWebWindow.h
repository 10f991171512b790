#pragma once

#include <memory>
#include <string>

#include "platform/CMessageMap.h"
#include "platform/Rect.h"
#include "webhost/IBrowserEngine.h"

namespace WebWindow {

// The child window that carries the browser component inside the popup, and connects the browser sink.
class CWebWindow : public platform::CMessageMap {
  public:
    CWebWindow(IEventSink* pEvents, std::unique_ptr<IBrowserEngine> engine);
    ~CWebWindow() override;
    CWebWindow(const CWebWindow&) = delete;
    CWebWindow& operator=(const CWebWindow&) = delete;

    // Creates the child window at `rc` in the parent's client coordinates, with the component filling
    // it; true when the child window exists. The component may still have failed to start, in which
    // case Navigate does nothing and GetDocument stays null.
    bool Create(platform::HWND parent, const platform::Rect& rc);
    void Navigate(const std::string& url);
    // The component while it shows a loaded document, else null.
    IBrowserEngine* GetDocument() const;
    void ShowWindow(bool show);
    bool DestroyChild();

    bool ProcessWindowMessage(platform::HWND, platform::UINT uMsg, platform::WPARAM, platform::LPARAM,
                              platform::LRESULT& lResult, uint32_t dwMsgMapID = 0) override;

    platform::HWND m_hWnd = nullptr;
    platform::Rect m_rcWindow;
    IEventSink* m_pEvents;

  private:
    void CreateBrowser();
    void DestroyBrowser();

    std::unique_ptr<IBrowserEngine> m_pEngine;
    platform::HWND m_hWndParent = nullptr;
    bool m_bBrowserStarted = false;
};

}  // namespace WebWindow
