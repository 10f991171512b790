#pragma once

#include <string>

// A small RGB picture encoded as PNG, made at run time so the server ships no binary files.
class PngImage {
  public:
    // A `size` x `size` tile in a colour picked by `seed`, with diagonal stripes.
    static std::string Tile(unsigned seed, unsigned size = 64);
};
