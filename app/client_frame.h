// Drawing into the client frame (app_state.h): plain RGB, clipped.
#pragma once
#include <cstdint>

struct ClientFrame;

enum : uint32_t { RGB_BLACK = 0x000000, RGB_WHITE = 0xFFFFFF, RGB_FACE = 0xC0C0C0 };

// Sizes the frame (contents undefined after a change); 0 when out of memory.
int  frame_ensure(ClientFrame* f, int width, int height);
void frame_fill(ClientFrame* f, uint32_t rgb);
// Lines as the toolkit draws them: the end point is not painted.
void frame_hline(ClientFrame* f, int x0, int x1, int y, uint32_t rgb);
void frame_vline(ClientFrame* f, int x, int y0, int y1, uint32_t rgb);
// Copies a packed w x h RGB image with its top-left corner at (x, y).
void frame_put_rgb(ClientFrame* f, int x, int y, const unsigned char* rgb, int w, int h);
// Copies w x h pixels of a display bitmap (blue, green, red rows of the
// given stride) from (sx, sy) to (x, y), exchanging red and blue.
void frame_put_bgr(ClientFrame* f, int x, int y, const unsigned char* bits, int stride, int sx, int sy, int w, int h);
