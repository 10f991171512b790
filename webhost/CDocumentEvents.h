#pragma once

#include "platform/Messages.h"
#include "webhost/IBrowserEngine.h"

namespace WebWindow {

// The page document's sink: from the second focus-out on, each one posts m_uMsg to m_hWndTarget.
class CDocumentEvents : public IEventSink {
  public:
    CDocumentEvents(platform::HWND hWndTarget, platform::UINT uMsg);

    bool ConnectTo(IBrowserEngine* document);
    void Invoke(int dispid, const EventArgs& args) override;

    platform::HWND m_hWndTarget;
    platform::UINT m_uMsg;
    bool m_bArmed = false;
};

}  // namespace WebWindow
