#include "webhost/CSendComplteHandler.h"

#include "platform/WindowManager.h"

namespace WebWindow {

CSendComplteHandler::CSendComplteHandler(platform::HWND hWndTarget, platform::UINT uCompleteMsg,
                                         platform::UINT uUrlMsg)
    : m_hWndTarget(hWndTarget), m_uCompleteMsg(uCompleteMsg), m_uUrlMsg(uUrlMsg) {}

bool CSendComplteHandler::Approve(const std::u16string&, int) { return true; }

bool CSendComplteHandler::PostUrlCopy(const std::u16string& url, int, bool& posted) {
    // The copy stays with the handler rather than travelling in the message: nobody handles the
    // message, and a heap block handed over in it would leak.
    if (m_hWndTarget && m_uUrlMsg) {
        m_strLastUrl = url;
        platform::PostMessage(m_hWndTarget, m_uUrlMsg, 0, 0);
        posted = true;
    }
    return true;
}

void CSendComplteHandler::NotifyDocumentComplete() {
    platform::PostMessage(m_hWndTarget, m_uCompleteMsg, 0, 0);
}

}  // namespace WebWindow
