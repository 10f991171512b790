#include "webhost/CAnchorEvent.h"

#include "platform/WindowManager.h"
#include "webhost/PopupMessages.h"

CAnchorEvent::CAnchorEvent(platform::HWND hWndTarget) : m_hWndTarget(hWndTarget) {}

bool CAnchorEvent::ConnectTo(WebWindow::IBrowserEngine* document, const std::string& elementId) {
    if (!document) return false;
    m_dwCookie = document->Advise(WebWindow::EventSource::Element, elementId, this);
    return m_dwCookie != 0;
}

void CAnchorEvent::Invoke(int dispid, const WebWindow::EventArgs&) {
    // Posted: the popup must not be destroyed inside the engine's own dispatch of the event.
    if (dispid == WebWindow::DISPID_MOUSEDOWN) platform::PostMessage(m_hWndTarget, WM_CLOSE_POPUP, 0, 0);
}
