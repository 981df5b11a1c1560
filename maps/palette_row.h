// Rows of palette indices on their way into the 32-bit frame (0xFFRRGGBB):
// the colour of every index looked up, 64 at a time with byte permutes
// where the processor has them (AVX-512 VBMI), a pixel at a time elsewhere.
// A colour curve (night colours) goes through the palette once, not
// through every pixel.
#pragma once
#include <cstdint>

// A curve per channel, byte to byte: what each red, green and blue value
// becomes. Monotonic curves keep a box filter's mean of mapped colours
// within a level or two of the mapped mean.
struct ColourCurve {
    unsigned char red[256], green[256], blue[256];
};

// One palette ready for expanding: its colours as byte planes (blue,
// green, red) and as frame pixels.
struct PaletteRow {
    alignas(64) unsigned char plane[3][256];
    uint32_t colours[256];
};

// colours: 256 frame pixels 0xFFRRGGBB; curve: null for the colours as they are.
void palette_row_make(PaletteRow* row, const uint32_t* colours, const ColourCurve* curve);

// n pixels of indices into out.
void palette_row_expand(uint32_t* out, const unsigned char* indices, const PaletteRow& row, long n);

// n packed RGB pixels into out through the curve (null: as they are).
void palette_row_rgb(uint32_t* out, const unsigned char* rgb, const ColourCurve* curve, long n);

// One frame pixel through the curve.
inline uint32_t colour_curve_pixel(const ColourCurve& c, uint32_t p) {
    return 0xFF000000u | static_cast<uint32_t>(c.red[(p >> 16) & 255]) << 16 |
           static_cast<uint32_t>(c.green[(p >> 8) & 255]) << 8 | c.blue[p & 255];
}
