#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/harness/desktop/XDesktop.h"

namespace harness {

// Where on the screen an element of the page is, and its text.
struct PageElement : ScreenRect {
    std::string text;
    int CentreX() const { return x + width / 2; }
    int CentreY() const { return y + height / 2; }
};

// Looks into the page of a running notifier from outside over AT-SPI, through atspi_find.py.
class PageProbe {
  public:
    using Ms = std::chrono::milliseconds;

    PageProbe(std::filesystem::path script, pid_t pid) : m_script(std::move(script)), m_pid(pid) {}

    // The element with this DOM id, waiting up to `timeout`; with `expect`, until its text holds it.
    std::optional<PageElement> ById(const std::string& id, Ms timeout,
                                    const std::optional<std::string>& expect = std::nullopt) const;
    // Every element of the role (e.g. "heading", "push button"), optionally with this exact name,
    // in document order. With `expect`, waits until one of them holds that text.
    std::vector<PageElement> ByRole(const std::string& role, const std::optional<std::string>& name,
                                    Ms timeout,
                                    const std::optional<std::string>& expect = std::nullopt) const;

  private:
    std::vector<PageElement> Run(std::vector<std::string> args, Ms timeout,
                                 const std::optional<std::string>& expect) const;

    std::filesystem::path m_script;
    pid_t m_pid;
};

}  // namespace harness
