#pragma once

#include <string>

#include "platform/Messages.h"

namespace WebWindow {

// Tells a window that the browser finished a document. Not a sink: the browser sink calls it.
class CSendComplteHandler final {
  public:
    CSendComplteHandler(platform::HWND hWndTarget, platform::UINT uCompleteMsg, platform::UINT uUrlMsg);

    // No engine asks for either of these; they keep their historical answers.
    virtual bool Approve(const std::u16string& url, int reserved);
    // Keeps a copy of the URL for the target (LastUrl) and posts the URL message.
    virtual bool PostUrlCopy(const std::u16string& url, int reserved, bool& posted);

    void NotifyDocumentComplete();
    const std::u16string& LastUrl() const { return m_strLastUrl; }

    platform::HWND m_hWndTarget;
    platform::UINT m_uCompleteMsg;
    platform::UINT m_uUrlMsg;

  private:
    std::u16string m_strLastUrl;
};

}  // namespace WebWindow
