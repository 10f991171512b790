#pragma once

#include "platform/Messages.h"

namespace WebWindow {

// Tells a window that the browser finished a document. Not a sink: the browser sink calls it.
class CSendComplteHandler final {
  public:
    CSendComplteHandler(platform::HWND hWndTarget, platform::UINT uCompleteMsg);

    void NotifyDocumentComplete();

    platform::HWND m_hWndTarget;
    platform::UINT m_uCompleteMsg;
};

}  // namespace WebWindow
