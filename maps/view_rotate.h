// Turning a composed picture into the pane for a course-up view: the pane
// (dw x dh) takes its pixels from a larger axis-aligned picture (sw x sh)
// with the same centre, read along each pane row in fixed-point steps.
// Pixels are 0x00RRGGBB, rows top-down, strides in pixels.
#pragma once
#include <cstdint>

// angle: radians clockwise on the screen (ViewRecord's rotation). Pane
// pixels whose source falls outside the picture are left as they were.
// Each pane pixel takes the picture's pixel its centre falls in: the
// picture moves and turns from frame to frame, where a blend between
// neighbours would cost several times as much for no visible gain.
void view_rotate_xrgb(const uint32_t* src, int sw, int sh, int sstride, double angle, uint32_t* dst, int dw, int dh,
                      int dstride);

// The same for the pane pixels whose source lies in the picture's rows
// [y0, y1) only: a band turned while it is still in the cache after it
// was composed.
void view_rotate_rows(const uint32_t* src, int sw, int sh, int sstride, double angle, uint32_t* dst, int dw, int dh,
                      int dstride, int y0, int y1);

// The side of the square picture that covers a pane of w x h turned by any
// angle about its centre (its diagonal, and a pixel each side to read
// between).
int view_rotate_cover(int w, int h);

// The columns [*x0, *x1) of rows [y0, y1) of the side x side picture that
// view_rotate_xrgb reads for a w x h pane turned by angle: the rest of the
// picture need not be composed. 0 when those rows read nothing.
int view_rotate_columns(int w, int h, int side, double angle, int y0, int y1, int* x0, int* x1);
