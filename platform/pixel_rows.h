// Rows of pixels converted on their way to the screen: 3-byte pixels with
// the first and third bytes exchanged (BGR <-> RGB), and RGB into the
// 32-bit pixels (0xFFRRGGBB) the window system draws. Sixteen bytes a step
// where the processor has SSSE3, a pixel at a time elsewhere.
#pragma once
#include <cstdint>

void pixel_row_swap_rb(unsigned char* dst, const unsigned char* src, int n);
void pixel_row_rgb_to_xrgb(uint32_t* dst, const unsigned char* src, int n);
