#pragma once

#include <cstddef>
#include <string_view>

// The XML parser recurses once per nesting level and searches attributes linearly, so a hostile
// document could exhaust the stack or take quadratic time. MarkupGuard scans the markup the way the
// parser reads it and tells how much of the text is safe to parse: the text is cut before the tag
// that would nest deeper than the limit or carry too many attributes. What lies before the cut is
// parsed as a document that breaks off there.
class MarkupGuard {
  public:
    struct Limits {
        size_t maxDepth = 256;
        size_t maxAttributes = 256;
    };

    explicit MarkupGuard(Limits limits) : m_limits(limits) {}
    MarkupGuard() : MarkupGuard(Limits{}) {}

    // Number of leading bytes of `text` that may be handed to the parser (stops at a zero byte too).
    size_t SafeLength(std::string_view text) const;

  private:
    Limits m_limits;
};
