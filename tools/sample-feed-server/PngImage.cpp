#include "PngImage.h"

#include <array>

#include <gdk-pixbuf/gdk-pixbuf.h>

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
    const int side = static_cast<int>(size);
    g_autoptr(GdkPixbuf) tile = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, side, side);
    if (!tile) return {};
    guchar* pixels = gdk_pixbuf_get_pixels(tile);
    const int stride = gdk_pixbuf_get_rowstride(tile);
    for (unsigned y = 0; y < size; ++y) {
        for (unsigned x = 0; x < size; ++x) {
            const bool stripe = ((x + y) / 8) % 2 == 0;
            guchar* pixel = pixels + y * stride + x * 3;
            for (unsigned char channel : colour) *pixel++ = stripe ? channel : channel / 2 + 100;
        }
    }
    g_autofree gchar* png = nullptr;
    gsize length = 0;
    if (!gdk_pixbuf_save_to_buffer(tile, &png, &length, "png", nullptr, nullptr)) return {};
    return std::string(png, length);
}
