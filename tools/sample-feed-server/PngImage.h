#pragma once

#include <cstdint>
#include <string>

// A small RGB picture encoded as PNG, made at run time so the server ships no binary files.
class PngImage {
  public:
    // A `size` x `size` tile in a colour picked by `seed`, with diagonal stripes.
    static std::string Tile(unsigned seed, unsigned size = 64);

  private:
    static std::string Encode(const std::string& rgb, unsigned width, unsigned height);
    static void AppendChunk(std::string& png, const char* type, const std::string& data);
    static uint32_t Crc32(const std::string& bytes);
};
