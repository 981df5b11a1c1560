// Drawing into the client frame (app_state.h): 0xRRGGBB colours, clipped.
// At night (the frame's night colours set) every colour drawn goes through
// them, so a frame is dimmed as it is made, not over again once made.
#pragma once
#include <cstdint>

#include "app/app_state.h"
#include "app/night_palette.h"

enum : uint32_t { RGB_BLACK = 0x000000, RGB_WHITE = 0xFFFFFF, RGB_FACE = 0xC0C0C0 };

// Sizes the frame (contents undefined after a change); 0 when out of memory.
int  frame_ensure(ClientFrame* f, int width, int height);
// The pixel (0xFFRRGGBB) a colour is drawn as, for what writes its own
// pixels into the frame.
inline uint32_t frame_colour(const ClientFrame* f, uint32_t rgb) {
    return f->night ? colour_curve_pixel(f->night->curve, rgb) : 0xFF000000u | (rgb & 0xFFFFFFu);
}
// rgb laid over the pixel at alpha (of 255) as by day: at night the mix of
// the two day colours, through the night colours.
inline void frame_blend(const ClientFrame* f, uint32_t* px, uint32_t rgb, uint32_t alpha) {
    uint32_t d = *px;
    if (f->night) {
        const ColourCurve& day = f->night->day;
        d = static_cast<uint32_t>(day.red[(d >> 16) & 255]) << 16 | static_cast<uint32_t>(day.green[(d >> 8) & 255]) << 8 |
            day.blue[d & 255];
    }
    const uint32_t b = 255 - alpha;
    uint32_t r = (((rgb >> 16) & 255) * alpha + ((d >> 16) & 255) * b) / 255;
    uint32_t g = (((rgb >> 8) & 255) * alpha + ((d >> 8) & 255) * b) / 255;
    uint32_t l = ((rgb & 255) * alpha + (d & 255) * b) / 255;
    *px = frame_colour(f, (r << 16) | (g << 8) | l);
}
// Columns [x0, x1) of rows [y0, y1) were drawn over (frame pixels): kept
// in the frame's record of marks (FrameMarks) while it records. Whatever
// writes the frame's pixels itself says so here.
void frame_marked(const ClientFrame* f, int x0, int y0, int x1, int y1);
void frame_fill(ClientFrame* f, uint32_t rgb);
// Fills the w x h rectangle at (x, y), clipped to the frame.
void frame_fill_rect(ClientFrame* f, int x, int y, int w, int h, uint32_t rgb);
// Fills everything but the w x h rectangle at (x, y): the ground around
// a picture that is about to cover the rest.
void frame_fill_around(ClientFrame* f, int x, int y, int w, int h, uint32_t rgb);
// Lines as the toolkit draws them: the end point is not painted.
void frame_hline(ClientFrame* f, int x0, int x1, int y, uint32_t rgb);
void frame_vline(ClientFrame* f, int x, int y0, int y1, uint32_t rgb);
// Copies a packed w x h RGB image with its top-left corner at (x, y).
void frame_put_rgb(ClientFrame* f, int x, int y, const unsigned char* rgb, int w, int h);
// Copies w x h pixels of a display bitmap (blue, green, red rows of the
// given stride in bytes) from (sx, sy) to (x, y).
void frame_put_bgr(ClientFrame* f, int x, int y, const unsigned char* bits, int stride, int sx, int sy, int w, int h);
