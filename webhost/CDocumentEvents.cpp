#include "webhost/CDocumentEvents.h"

#include "platform/WindowManager.h"

namespace WebWindow {

CDocumentEvents::CDocumentEvents(platform::HWND hWndTarget, platform::UINT uMsg)
    : m_hWndTarget(hWndTarget), m_uMsg(uMsg) {}

bool CDocumentEvents::ConnectTo(IBrowserEngine* document) {
    if (!document) return false;
    m_dwCookie = document->Advise(EventSource::Document, {}, this);
    return m_dwCookie != 0;
}

void CDocumentEvents::Invoke(int dispid, const EventArgs&) {
    if (dispid != DISPID_FOCUSOUT) return;
    // The page's own start-up moves focus once; that one is not the user leaving.
    if (m_bArmed) platform::PostMessage(m_hWndTarget, m_uMsg, 0, 0);
    m_bArmed = true;
}

}  // namespace WebWindow
