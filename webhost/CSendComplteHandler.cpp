#include "webhost/CSendComplteHandler.h"

#include "platform/WindowManager.h"

namespace WebWindow {

CSendComplteHandler::CSendComplteHandler(platform::HWND hWndTarget, platform::UINT uCompleteMsg)
    : m_hWndTarget(hWndTarget), m_uCompleteMsg(uCompleteMsg) {}

void CSendComplteHandler::NotifyDocumentComplete() {
    platform::PostMessage(m_hWndTarget, m_uCompleteMsg, 0, 0);
}

}  // namespace WebWindow
