#include "feed/TextConvert.h"

#include "platform/AnsiCodePage.h"
#include "platform/Charset.h"
#include "platform/Unicode.h"

std::string ConvertCharset(std::string_view text, const std::string& toCharset,
                           const std::string& fromCharset) {
    return platform::ConvertText(text.substr(0, text.find('\0')), toCharset, fromCharset, {"?"}).value_or("");
}

std::u16string Utf8ToWide(std::string_view text) { return platform::Utf8ToUtf16(text); }

std::string WideToAnsi(std::u16string_view text) { return platform::Utf16ToAnsi(text); }

std::string Utf8ToAnsi(std::string_view text) { return WideToAnsi(Utf8ToWide(text)); }
