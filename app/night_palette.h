// Night colours: the composed client frame (map and toolbar) dimmed and
// shifted to dark warm tones, so the screen does not dazzle in the dark,
// and the read-outs in amber and red on a black outline.
#pragma once
#include <cstdint>

// Per channel a curve out = in * (lin + quad * in / 256) / 256:
// linear plus a square term that deepens the dark tones. It rises with its
// input, so what was lighter stays lighter and lines stay apart from their
// ground. Kept per byte of 32 pixels (96 bytes, red first) so a frame is
// mapped with vector arithmetic, as a table look-up per byte cannot be.
struct NightPalette {
    uint16_t quad[96], lin[96];
};

void night_palette_make(NightPalette* palette);

// One colour (0xRRGGBB) through the palette.
uint32_t night_palette_colour(const NightPalette& palette, uint32_t rgb);

// Maps a region of an RGB frame in place (rows of stride bytes, pixels of
// 3 bytes, red first). The region must lie inside the frame.
void night_palette_apply(const NightPalette& palette, unsigned char* rgb, int stride, int x, int y, int width,
                         int height);

// Read-out colours (0xRRGGBB) at night, for the white outline and the red
// or white text of the day.
constexpr uint32_t NIGHT_READOUT_OUTLINE = 0x000000;
constexpr uint32_t NIGHT_READOUT_TEXT = 0xFF9F1C;   // amber: speed, coordinates
constexpr uint32_t NIGHT_READOUT_ALERT = 0xE0321E;  // red: what needs attention
