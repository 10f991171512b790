#pragma once

#include <string>
#include <string_view>

namespace platform {

// A double-quoted JavaScript string literal that evaluates to `utf8`, and is also JSON. Quote,
// backslash, control characters, U+2028/U+2029 and "</" are escaped, so it ends no line and no script
// element; bytes that are not UTF-8 become U+FFFD; everything else is copied byte for byte, so a plain
// value p gives "p".
std::string ScriptLiteral(std::string_view utf8);

}  // namespace platform
