#pragma once

#include <string>
#include <string_view>

namespace platform {

// The character set that stands for the thread's "ANSI code page": the locale's codeset
// (nl_langinfo(CODESET) after setlocale(LC_ALL, "")), e.g. "UTF-8" or "GBK". Read on every call.
std::string AnsiCodeset();

// UTF-16, up to its first zero unit, in the thread's ANSI code page. A unit that does not decode (a
// lone surrogate) or a character the code page cannot hold becomes '?'.
std::string Utf16ToAnsi(std::u16string_view text);

}  // namespace platform
