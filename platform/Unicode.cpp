#include "platform/Unicode.h"

#include <cstring>

#include <glib.h>

#include "platform/Charset.h"

namespace platform {

std::string ValidUtf8(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    const char* p = text.data();
    const char* const end = text.data() + text.size();
    while (p < end) {
        const char* validEnd = nullptr;
        if (g_utf8_validate_len(p, static_cast<gsize>(end - p), &validEnd)) {
            out.append(p, end);
            break;
        }
        out.append(p, validEnd);
        // GLib stops at a zero byte as if it were invalid.
        if (*validEnd == '\0') {
            out += '\0';
        } else {
            out += kReplacement;
        }
        p = validEnd + 1;
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    static constexpr char16_t kQuestion = u'?';
    const Substitute question{std::string_view(reinterpret_cast<const char*>(&kQuestion), sizeof kQuestion)};
    const std::string bytes =
        ConvertText(utf8.substr(0, utf8.find('\0')), kNativeUtf16, "UTF-8", question).value_or("");
    std::u16string wide(bytes.size() / sizeof(char16_t), u'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(char16_t));
    return wide;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view text) {
    g_autofree gchar* utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(text.data()),
                                             static_cast<glong>(text.size()), nullptr, nullptr, nullptr);
    if (utf8 == nullptr) return std::nullopt;
    return std::string(utf8);
}

}  // namespace platform
