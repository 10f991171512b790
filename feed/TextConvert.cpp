#include "feed/TextConvert.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "feed/DebugLog.h"
#include "feed/IconvDescriptor.h"
#include "platform/AnsiCodePage.h"

namespace {

constexpr const char* kNativeUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr size_t kFailed = static_cast<size_t>(-1);

struct Conversion {
    std::string toCharset;
    std::string fromCharset;
    std::string_view replacement;  // already in the target set
    size_t invalidStep;            // bytes skipped over an undecodable input unit
};

// Length in bytes of the one character that starts at `p` in the source set, or 0 when the bytes there
// do not decode at all. Tells "the target cannot hold it" (skip the whole character) apart from
// "invalid input" (skip one unit).
size_t DecodableLength(IconvDescriptor& probe, const char* p, size_t left) {
    constexpr size_t kLongestCharacter = 8;
    for (size_t n = 1; n <= std::min(left, kLongestCharacter); ++n) {
        probe.Reset();
        char* in = const_cast<char*>(p);
        size_t inLeft = n;
        char buffer[32];
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(probe.Get(), &in, &inLeft, &out, &outLeft) != kFailed && inLeft == 0) {
            return n;
        }
        if (errno != EINVAL) {
            return 0;
        }
    }
    return 0;
}

void Append(std::string& out, size_t& produced, std::string_view bytes) {
    if (out.size() - produced < bytes.size()) {
        out.resize(out.size() * 2 + bytes.size());
    }
    std::memcpy(out.data() + produced, bytes.data(), bytes.size());
    produced += bytes.size();
}

std::string Convert(std::string_view input, const Conversion& how) {
    IconvDescriptor& cd = IconvDescriptor::ForThread(how.toCharset, how.fromCharset);
    if (!cd.IsValid()) {
        feed::DebugLog("no conversion to " + how.toCharset + " from " + how.fromCharset);
        return {};
    }
    IconvDescriptor* probe = nullptr;

    std::string out(input.size() * 2 + 16, '\0');
    size_t produced = 0;
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    bool flushing = false;
    for (;;) {
        char* outPtr = out.data() + produced;
        size_t outLeft = out.size() - produced;
        size_t result = flushing ? iconv(cd.Get(), nullptr, nullptr, &outPtr, &outLeft)
                                 : iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft);
        produced = static_cast<size_t>(outPtr - out.data());
        if (result != kFailed) {
            if (flushing) {
                break;
            }
            flushing = true;
            continue;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ && !flushing) {
            if (probe == nullptr) {
                probe = &IconvDescriptor::ForThread("UTF-32LE", how.fromCharset);
            }
            size_t length = probe->IsValid() ? DecodableLength(*probe, in, inLeft) : 0;
            size_t skip = std::min(inLeft, length != 0 ? length : how.invalidStep);
            in += skip;
            inLeft -= skip;
            Append(out, produced, how.replacement);
        } else if (errno == EINVAL && !flushing) {
            // The text ends inside a multi-byte sequence.
            inLeft = 0;
            Append(out, produced, how.replacement);
        } else {
            break;
        }
    }
    out.resize(produced);
    return out;
}

std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

std::u16string_view UpToZero(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

}  // namespace

std::string ConvertCharset(std::string_view text, const std::string& toCharset,
                           const std::string& fromCharset) {
    return Convert(UpToZero(text), {toCharset, fromCharset, "?", 1});
}

std::u16string Utf8ToWide(std::string_view text) {
    static constexpr char16_t kQuestion = u'?';
    std::string_view replacement(reinterpret_cast<const char*>(&kQuestion), sizeof kQuestion);
    std::string bytes = Convert(UpToZero(text), {kNativeUtf16, "UTF-8", replacement, 1});
    std::u16string wide(bytes.size() / sizeof(char16_t), u'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(char16_t));
    return wide;
}

std::string WideToAnsi(std::u16string_view text) {
    std::u16string_view units = UpToZero(text);
    std::string_view bytes(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(char16_t));
    return Convert(bytes, {platform::AnsiCodeset(), kNativeUtf16, "?", sizeof(char16_t)});
}

std::string Utf8ToAnsi(std::string_view text) { return WideToAnsi(Utf8ToWide(text)); }
