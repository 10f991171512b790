#pragma once

#include <string>
#include <string_view>

// Text conversions for feed text, under the feed's names for platform/'s Charset, Unicode and
// AnsiCodePage. Every input is read up to its first zero byte (zero unit for wide text). A character that
// cannot be decoded (invalid or cut-off input) or that the target set cannot hold becomes '?' and the
// conversion goes on, so a title is never cut short.

// Converts `text` from `fromCharset` to `toCharset` (iconv names, e.g. "GBK", "UTF-8").
// An unknown charset pair gives the empty string.
std::string ConvertCharset(std::string_view text, const std::string& toCharset,
                           const std::string& fromCharset);

// UTF-8 to UTF-16.
std::u16string Utf8ToWide(std::string_view text);

// UTF-16 to the locale's character set (the "ANSI code page", platform::AnsiCodeset()).
std::string WideToAnsi(std::u16string_view text);

// UTF-8 to the locale's character set through UTF-16: WideToAnsi(Utf8ToWide(text)).
std::string Utf8ToAnsi(std::string_view text);
