#pragma once

#include <cstddef>
#include <string_view>

// The XML parser recurses once per nesting level and searches attributes linearly, so a hostile
// document could exhaust the stack or take quadratic time. MarkupGuard scans the markup the way the
// parser reads it and tells how much of the text is safe to parse: the text is cut before the tag
// that would nest deeper than the limit or carry too many attributes, and before the markup that
// would make more nodes than the limit (each node costs the parser a few hundred bytes, so a body of
// nothing but "<a/>" would otherwise cost some 60 times its size). What lies before the cut is parsed
// as a document that breaks off there.
class MarkupGuard {
  public:
    struct Limits {
        size_t maxDepth = 256;
        size_t maxAttributes = 256;
        // Elements, comments, CDATA sections, declarations and other markup; an ordinary feed of a
        // thousand items has a few tens of thousands.
        size_t maxNodes = 200'000;
    };

    explicit MarkupGuard(Limits limits) : m_limits(limits) {}
    MarkupGuard() : MarkupGuard(Limits{}) {}

    // Number of leading bytes of `text` that may be handed to the parser (stops at a zero byte too).
    size_t SafeLength(std::string_view text) const;

  private:
    Limits m_limits;
};
