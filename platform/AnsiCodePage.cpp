#include "platform/AnsiCodePage.h"

#include <langinfo.h>

#include "platform/Charset.h"

namespace platform {

std::string AnsiCodeset() {
    const char* codeset = nl_langinfo(CODESET);
    return (codeset && *codeset) ? codeset : "ANSI_X3.4-1968";
}

std::string Utf16ToAnsi(std::u16string_view text) {
    const std::u16string_view units = text.substr(0, text.find(u'\0'));
    const std::string_view bytes(reinterpret_cast<const char*>(units.data()),
                                 units.size() * sizeof(char16_t));
    return ConvertText(bytes, AnsiCodeset(), kNativeUtf16, {"?", sizeof(char16_t)}).value_or("");
}

}  // namespace platform
