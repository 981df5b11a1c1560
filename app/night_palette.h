// Night colours: the composed client frame (map and toolbar) dimmed and
// shifted to dark warm tones, so the screen does not dazzle in the dark,
// and the read-outs in amber and red on a black outline.
#pragma once
#include <cstdint>

#include "maps/palette_row.h"

// Per channel a curve out = in * (lin + quad * in / 256) / 256:
// linear plus a square term that deepens the dark tones. It rises with its
// input, so what was lighter stays lighter and lines stay apart from their
// ground. Kept per byte of 32 frame pixels (128 bytes: blue, green, red
// and the unused byte, which the curve keeps) so a frame is mapped with
// vector arithmetic, as a table look-up per byte cannot be.
struct NightPalette {
    uint16_t quad[128], lin[128];
};

void night_palette_make(NightPalette* palette);

// One colour (0xRRGGBB) through the palette.
uint32_t night_palette_colour(const NightPalette& palette, uint32_t rgb);

// The palette as a curve per channel, for the composers to apply to the
// sheets' colours as they compose (the same bytes night_palette_apply
// gives).
void night_palette_curve(const NightPalette& palette, ColourCurve* curve);

// The night colours the frame's drawing goes through (ClientFrame::night):
// a day colour to its night one, and back, for a mark mixed with what is
// already at night (the road route's see-through line).
struct NightColours {
    ColourCurve curve;
    ColourCurve day;                   // a night value to the middle of the day values the curve takes to it
};

// Made once, from night_palette_make's palette.
const NightColours& night_colours();

// Maps a region of a client frame in place (32-bit pixels 0xFFRRGGBB, rows
// of stride pixels). The region must lie inside the frame.
void night_palette_apply(const NightPalette& palette, uint32_t* px, int stride, int x, int y, int width, int height);

// Read-out colours (0xRRGGBB) at night, for the white outline and the red
// or white text of the day. Light enough to stand 4.5:1 from the lightest
// the map becomes (white through the palette), as the day's stand from it.
constexpr uint32_t NIGHT_READOUT_OUTLINE = 0x000000;
constexpr uint32_t NIGHT_READOUT_TEXT = 0xFFD860;   // amber: speed, coordinates
constexpr uint32_t NIGHT_READOUT_ALERT = 0xFFD4C0;  // rose: what needs attention
