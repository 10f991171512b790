#pragma once

#include <bit>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// iconv's name of UTF-16 in this machine's byte order.
inline constexpr const char* kNativeUtf16 =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// What a conversion writes in place of what it cannot carry over.
struct Substitute {
    std::string_view text;      // already in the target set
    size_t unit = 1;            // input bytes one substitute stands for in undecodable input
    bool perUnitAtEnd = false;  // a text cut inside its last character: one per unit, else one in all
};

// `text`, every byte of it, from `fromCharset` to `toCharset` (iconv names, e.g. "GBK", "UTF-8"). A
// character the target set cannot hold becomes one substitute, undecodable input one per unit, and the
// conversion goes on. Nothing when iconv knows no such pair. Uses this thread's cached descriptors.
std::optional<std::string> ConvertText(std::string_view text, const std::string& toCharset,
                                       const std::string& fromCharset, const Substitute& substitute);

}  // namespace platform
