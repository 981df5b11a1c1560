// Turning a composed picture into the pane for a course-up view: the pane
// (dw x dh) takes its pixels from a larger axis-aligned picture (sw x sh)
// with the same centre, read along each pane row in fixed-point steps.
// Pixels are 0x00RRGGBB, rows top-down, strides in pixels.
#pragma once
#include <cstdint>

// angle: radians clockwise on the screen (ViewRecord's rotation). Pane
// pixels whose source falls outside the picture are left as they were.
// Bilinear between the four source pixels around each pane pixel.
void view_rotate_xrgb(const uint32_t* src, int sw, int sh, int sstride, double angle, uint32_t* dst, int dw, int dh,
                      int dstride);

// The side of the square picture that covers a pane of w x h turned by any
// angle about its centre (its diagonal, and a pixel each side to read
// between).
int view_rotate_cover(int w, int h);
