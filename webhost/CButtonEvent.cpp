#include "webhost/CButtonEvent.h"

#include "platform/WindowManager.h"
#include "webhost/PopupMessages.h"

CButtonEvent::CButtonEvent(platform::HWND hWndTarget, int nKind) : m_hWndTarget(hWndTarget), m_nKind(nKind) {}

bool CButtonEvent::ConnectTo(WebWindow::IBrowserEngine* document, const std::string& elementId) {
    if (!document) return false;
    m_dwCookie = document->Advise(WebWindow::EventSource::Element, elementId, this);
    return m_dwCookie != 0;
}

void CButtonEvent::Invoke(int dispid, const WebWindow::EventArgs&) {
    if (dispid != WebWindow::DISPID_MOUSEDOWN) return;
    // Sent, not posted: the action runs at the press, before the page's own click handler.
    if (m_nKind == kMarkAllRead) {
        platform::SendMessage(m_hWndTarget, WM_MARK_ALL_READ, 0, 0);
    } else if (m_nKind == kRemoveAll) {
        platform::SendMessage(m_hWndTarget, WM_REMOVE_ALL, 0, 0);
    }
}
