// Stored row bytes, under a UTF-8 or a GBK locale codeset, through the page text into the AddAllItem
// script text, read back by JavaScriptCore's JSON parser (the engine that runs it in the page). The text
// must be one call with the seven intended strings and no other token: each field decoded from its
// stored encoding, every byte that does not decode one U+FFFD.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>
#include <iconv.h>
#include <jsc/jsc.h>

#include "popup/PageText.h"
#include "popup/ScriptText.h"

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
JSCContext* g_context = nullptr;
std::vector<std::string> g_gbk;  // [byte] and [256 + lead * 256 + trail]: the character, or empty

// Length of the well-formed UTF-8 sequence that starts `s` (the Unicode standard's table 3-7), or 0.
size_t WellFormedLength(std::string_view s) {
    const auto at = [s](size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0x100u; };
    const auto in = [](unsigned c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; };
    const unsigned lead = at(0);
    if (lead < 0x80) return 1;
    const size_t length = in(lead, 0xC2, 0xDF) ? 2 : in(lead, 0xE0, 0xEF) ? 3 : in(lead, 0xF0, 0xF4) ? 4 : 0;
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || !in(at(1), low, high)) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (!in(at(i), 0x80, 0xBF)) return 0;
    }
    return length;
}

std::string IntendedFromUtf8(std::string_view s) {
    std::string out;
    for (size_t i = 0, n = 0; i < s.size(); i += n ? n : 1) {
        n = WellFormedLength(s.substr(i));
        out += n ? s.substr(i, n) : kReplacement;
    }
    return out;
}

std::string IntendedFromGbk(std::string_view s) {
    const auto byte = [s](size_t i) { return static_cast<unsigned char>(s[i]); };
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const std::string* character = &g_gbk[byte(i)];
        size_t length = 1;
        if (character->empty() && i + 1 < s.size()) {
            character = &g_gbk[256 + byte(i) * 256 + byte(i + 1)];
            length = 2;
        }
        out += character->empty() ? kReplacement : std::string_view(*character);
        i += character->empty() ? 1 : length;
    }
    return out;
}

// Each GBK character of one or two bytes, decoded alone by iconv.
void BuildGbkTable() {
    g_gbk.assign(256 + 65536, "");
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) std::abort();
    for (size_t k = 0; k < g_gbk.size(); ++k) {
        char bytes[2] = {static_cast<char>((k - 256) >> 8), static_cast<char>(k)};
        char* in = k < 256 ? bytes + 1 : bytes;
        size_t inLeft = k < 256 ? 1 : 2;
        char buffer[16];
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) && inLeft == 0) {
            g_gbk[k].assign(buffer, out);
        }
    }
    iconv_close(cd);
}

// The strings of the JSON array `json`; nothing unless it is an array of strings alone.
std::optional<std::vector<std::string>> ReadStrings(const std::string& json) {
    g_autoptr(JSCValue) array = jsc_value_new_from_json(g_context, json.c_str());
    if (jsc_context_get_exception(g_context) != nullptr) {
        jsc_context_clear_exception(g_context);
        return std::nullopt;
    }
    if (array == nullptr || !jsc_value_is_array(array)) return std::nullopt;
    g_autoptr(JSCValue) length = jsc_value_object_get_property(array, "length");
    std::vector<std::string> strings;
    for (int32_t i = 0; i < jsc_value_to_int32(length); ++i) {
        g_autoptr(JSCValue) item = jsc_value_object_get_property_at_index(array, i);
        if (!jsc_value_is_string(item)) return std::nullopt;
        g_autoptr(GBytes) bytes = jsc_value_to_string_as_bytes(item);
        gsize size = 0;
        const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        strings.emplace_back(data, size);
    }
    return strings;
}

void Check(bool ok, const char* what, const std::string& text) {
    if (ok) return;
    std::fprintf(stderr, "%s: %s\n", what, text.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_context = jsc_context_new();
    BuildGbkTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const bool gbk = input.ConsumeBool();
    FeedItem row;
    for (std::string* field : {&row.msg_picurl, &row.msg_top, &row.msg_title, &row.msg_date, &row.msg_url,
                               &row.msg_id, &row.msg_buyurl}) {
        *field = input.ConsumeRandomLengthString();
    }
    const auto fromLocale = gbk ? IntendedFromGbk : IntendedFromUtf8;
    const std::vector<std::string> intended = {fromLocale(row.msg_picurl),     IntendedFromUtf8(row.msg_top),
                                               IntendedFromGbk(row.msg_title), IntendedFromUtf8(row.msg_date),
                                               IntendedFromUtf8(row.msg_url),  IntendedFromUtf8(row.msg_id),
                                               fromLocale(row.msg_buyurl)};
    const std::string text = ScriptText::AddAllItem(PageText::ForPage(row, gbk ? "GBK" : "UTF-8"));

    constexpr std::string_view kCall = "AddAllItem(";
    Check(text.starts_with(kCall) && text.ends_with(')'), "not one call", text);
    for (const std::string_view stop : {"\n"sv, "\r"sv, "\xE2\x80\xA8"sv, "\xE2\x80\xA9"sv, "</"sv, "\0"sv}) {
        Check(text.find(stop) == std::string::npos, "a line, the script element or the text ends inside",
              text);
    }
    const std::string arguments = text.substr(kCall.size(), text.size() - kCall.size() - 1);
    Check(ReadStrings("[" + arguments + "]") == intended, "not the seven intended strings", text);
    return 0;
}
