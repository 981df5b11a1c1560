// Drawing into the client frame (app_state.h): 0xRRGGBB colours, clipped.
#pragma once
#include <cstdint>

struct ClientFrame;

enum : uint32_t { RGB_BLACK = 0x000000, RGB_WHITE = 0xFFFFFF, RGB_FACE = 0xC0C0C0 };

// Sizes the frame (contents undefined after a change); 0 when out of memory.
int  frame_ensure(ClientFrame* f, int width, int height);
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
