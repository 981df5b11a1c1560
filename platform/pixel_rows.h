// Rows of 3-byte pixels on their way to the screen: red and blue exchanged
// (RGB pictures into display bitmaps), and red first or blue first into
// the 32-bit pixels (0xFFRRGGBB) the client frame and the window system
// use. Sixteen bytes a step where the processor has SSSE3, a pixel at a
// time elsewhere.
#pragma once
#include <cstdint>

void pixel_row_swap_rb(unsigned char* dst, const unsigned char* src, int n);
void pixel_row_bgr_to_xrgb(uint32_t* dst, const unsigned char* src, int n);
void pixel_row_rgb_to_xrgb(uint32_t* dst, const unsigned char* src, int n);
