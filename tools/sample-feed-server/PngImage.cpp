#include "PngImage.h"

#include <array>

namespace {

void Put32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

uint32_t Adler32(const std::string& bytes) {
    uint32_t a = 1, b = 0;
    for (unsigned char c : bytes) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// zlib stream made of stored (uncompressed) deflate blocks: valid PNG data with no compressor needed.
std::string StoredZlib(const std::string& raw) {
    std::string out = "\x78\x01";
    size_t offset = 0;
    do {
        size_t length = std::min<size_t>(raw.size() - offset, 65535);
        bool last = offset + length == raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(length & 0xFF);
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(~length & 0xFF);
        out += static_cast<char>((~length >> 8) & 0xFF);
        out.append(raw, offset, length);
        offset += length;
    } while (offset < raw.size());
    Put32(out, Adler32(raw));
    return out;
}

}  // namespace

std::string PngImage::Tile(unsigned seed, unsigned size) {
    static constexpr std::array<std::array<unsigned char, 3>, 8> kColours = {{{231, 76, 60},
                                                                              {230, 126, 34},
                                                                              {241, 196, 15},
                                                                              {46, 204, 113},
                                                                              {26, 188, 156},
                                                                              {52, 152, 219},
                                                                              {155, 89, 182},
                                                                              {52, 73, 94}}};
    const auto& colour = kColours[seed % kColours.size()];
    std::string rgb;
    rgb.reserve(size * size * 3);
    for (unsigned y = 0; y < size; ++y) {
        for (unsigned x = 0; x < size; ++x) {
            bool stripe = ((x + y) / 8) % 2 == 0;
            for (unsigned char channel : colour) {
                rgb += static_cast<char>(stripe ? channel : channel / 2 + 100);
            }
        }
    }
    return Encode(rgb, size, size);
}

std::string PngImage::Encode(const std::string& rgb, unsigned width, unsigned height) {
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    Put32(header, width);
    Put32(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    AppendChunk(png, "IHDR", header);
    std::string raw;
    for (unsigned y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        raw.append(rgb, static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3);
    }
    AppendChunk(png, "IDAT", StoredZlib(raw));
    AppendChunk(png, "IEND", "");
    return png;
}

void PngImage::AppendChunk(std::string& png, const char* type, const std::string& data) {
    Put32(png, static_cast<uint32_t>(data.size()));
    std::string typed = std::string(type, 4) + data;
    png += typed;
    Put32(png, Crc32(typed));
}

uint32_t PngImage::Crc32(const std::string& bytes) {
    static const std::array<uint32_t, 256> kTable = [] {
        std::array<uint32_t, 256> table{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return table;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) crc = kTable[(crc ^ c) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}
