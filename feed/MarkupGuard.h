#pragma once

#include <cstddef>
#include <string_view>

// The XML parser recurses once per nesting level and searches attributes linearly, so a hostile
// document could exhaust the stack or take quadratic time. MarkupGuard reads the markup exactly the way
// the parser (TinyXML 2.6) reads it, character by character as the parser steps (a UTF-8 lead byte takes
// its whole sequence, an entity reference may run to the next ';'), and tells how much of the text is
// safe to parse: the text is cut before the tag that would nest deeper than the limit or carry too many
// attributes, and before the markup that would make more nodes than the limit (each node costs the
// parser a few hundred bytes, so a body of nothing but "<a/>" would otherwise cost some 60 times its
// size). Where the parser would give up by itself, the text is cut there too, so that nothing the guard
// has not read reaches the parser. Well-formed markup within the limits is never cut.
class MarkupGuard {
  public:
    struct Limits {
        size_t maxDepth = 256;
        size_t maxAttributes = 256;
        // Elements, comments, CDATA sections, declarations and other markup; an ordinary feed of a
        // thousand items has a few tens of thousands.
        size_t maxNodes = 200'000;
    };

    // What the parser makes of a text.
    struct Reading {
        size_t length = 0;       // leading bytes that may be handed to the parser
        size_t openAtEnd = 0;    // elements whose end the parse of those bytes never reaches
        bool overLimit = false;  // cut before markup over a limit (not where the parser gives up)
    };

    explicit MarkupGuard(Limits limits) : m_limits(limits) {}
    MarkupGuard() : MarkupGuard(Limits{}) {}

    // Reads `text` up to its first zero byte. The parser's character tests depend on the C locale of the
    // calling thread; call this on the thread that parses.
    Reading Read(std::string_view text) const;
    size_t SafeLength(std::string_view text) const { return Read(text).length; }

  private:
    Limits m_limits;
};
