#pragma once

#include <string>

#include "platform/Messages.h"

namespace WebWindow {

// Tells a window that the browser finished a document. Not a sink: the browser sink calls it.
class CSendComplteHandler final {
  public:
    CSendComplteHandler(platform::HWND hWndTarget, platform::UINT uCompleteMsg, platform::UINT uUrlMsg);

    // Kept for the design, with the URL message and LastUrl: no engine asks for either.
    virtual bool Approve(const std::u16string& url, int reserved);
    // Keeps a copy of the URL for the target (LastUrl) and posts the URL message.
    virtual bool PostUrlCopy(const std::u16string& url, int reserved, bool& posted);
    const std::u16string& LastUrl() const { return m_strLastUrl; }

    void NotifyDocumentComplete();

    platform::HWND m_hWndTarget;
    platform::UINT m_uCompleteMsg;
    platform::UINT m_uUrlMsg;

  private:
    std::u16string m_strLastUrl;
};

}  // namespace WebWindow
