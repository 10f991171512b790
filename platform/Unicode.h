#pragma once

#include <optional>
#include <string>
#include <string_view>

// The program's one road between UTF-8 and UTF-16. The conversions read up to the first zero byte or unit.
namespace platform {

// `text` with every byte that is not part of valid UTF-8 replaced by U+FFFD; zero bytes are text here
// and stay.
std::string ValidUtf8(std::string_view text);

// UTF-8 to UTF-16. Each undecodable byte becomes '?', as does a character cut off at the end.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8; nothing when the text holds a lone surrogate.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

}  // namespace platform
