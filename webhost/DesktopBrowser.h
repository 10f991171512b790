#pragma once

#include <string>
#include <string_view>

namespace WebWindow {

// Hands links to the desktop's default web browser.
class DesktopBrowser {
  public:
    // Only http and https links leave the popup; javascript:, file:, data: and the rest never do.
    static bool IsWebLink(std::string_view url);
    // Starts the default handler for `url` (UTF-8) without waiting; a failure is only logged
    // (NOTIFIER_DEBUG). Does nothing for links IsWebLink refuses.
    static void Open(const std::string& url);
};

}  // namespace WebWindow
