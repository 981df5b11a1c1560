#include "maps/view_rotate.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kShift = 16;
constexpr int64_t kOne = int64_t{1} << kShift;

}  // namespace

int view_rotate_cover(int w, int h) {
    return static_cast<int>(std::ceil(std::sqrt(double(w) * w + double(h) * h))) + 2;
}

namespace {

// The indices i in [0, n) where a + i b lies in [lo, hi), as [*from, *to):
// one run, the values rising or falling with i; guessed in doubles, then
// made exact.
void runWithin(int64_t a, int64_t b, int64_t lo, int64_t hi, int n, int* from, int* to) {
    auto at = [&](int64_t i) { return a + i * b; };
    auto in = [&](int64_t i) { return at(i) >= lo && at(i) < hi; };
    if (b == 0) {
        *from = 0;
        *to = in(0) ? n : 0;
        return;
    }
    // Where the line enters and leaves the range, whichever way it runs.
    double enter = (static_cast<double>(b > 0 ? lo : hi - 1) - static_cast<double>(a)) / static_cast<double>(b);
    double leave = (static_cast<double>(b > 0 ? hi - 1 : lo) - static_cast<double>(a)) / static_cast<double>(b);
    int64_t i0 = std::clamp<int64_t>(static_cast<int64_t>(std::ceil(enter)), 0, n);
    int64_t i1 = std::clamp<int64_t>(static_cast<int64_t>(std::floor(leave)) + 1, 0, n);
    while (i0 > 0 && in(i0 - 1)) i0--;
    while (i0 < i1 && !in(i0)) i0++;
    while (i1 < n && in(i1)) i1++;
    while (i1 > i0 && !in(i1 - 1)) i1--;
    *from = static_cast<int>(i0);
    *to = static_cast<int>(std::max(i0, i1));
}

}  // namespace

void view_rotate_rows(const uint32_t* src, int sw, int sh, int sstride, double angle, uint32_t* dst, int dw, int dh,
                      int dstride, int y0, int y1) {
    y0 = std::max(y0, 0), y1 = std::min(y1, sh);
    if (!src || !dst || sw < 1 || y1 <= y0 || dw <= 0 || dh <= 0) return;
    const double c = std::cos(angle), s = std::sin(angle);
    // The pane's pixel centre (i + 0.5, j + 0.5), as an offset from its
    // middle, turned back into the picture: (dx c + dy s, dy c - dx s); the
    // whole part of the result is the picture's pixel.
    const double scx = sw / 2.0, scy = sh / 2.0;
    const int64_t stepX = std::llround(c * kOne), stepY = std::llround(-s * kOne);
    const int64_t rowX = std::llround(s * kOne), rowY = std::llround(c * kOne);
    const double dx0 = 0.5 - dw / 2.0, dy0 = 0.5 - dh / 2.0;
    const int64_t originX = std::llround((scx + dx0 * c + dy0 * s) * kOne),
                  originY = std::llround((scy + dy0 * c - dx0 * s) * kOne);
    for (int j = 0; j < dh; j++) {
        const int64_t fx = originX + j * rowX, fy = originY + j * rowY;
        // The run of the row whose source lies in the rows asked for and
        // inside the picture's columns.
        int a0, a1, b0, b1;
        runWithin(fy, stepY, int64_t{y0} << kShift, int64_t{y1} << kShift, dw, &a0, &a1);
        if (a1 <= a0) continue;
        runWithin(fx, stepX, 0, int64_t{sw} << kShift, dw, &b0, &b1);
        const int from = std::max(a0, b0), to = std::min(a1, b1);
        uint32_t* out = dst + static_cast<int64_t>(j) * dstride;
        int64_t x = fx + from * stepX, y = fy + from * stepY;
        for (int i = from; i < to; i++, x += stepX, y += stepY) out[i] = src[(y >> kShift) * sstride + (x >> kShift)];
    }
}

void view_rotate_xrgb(const uint32_t* src, int sw, int sh, int sstride, double angle, uint32_t* dst, int dw, int dh,
                      int dstride) {
    view_rotate_rows(src, sw, sh, sstride, angle, dst, dw, dh, dstride, 0, sh);
}

int view_rotate_columns(int w, int h, int side, double angle, int y0, int y1, int* x0, int* x1) {
    const double c = std::cos(angle), s = std::sin(angle), mid = side / 2.0;
    // The pane's corners in the picture, around the outline.
    double px[4], py[4];
    const double cx[4] = {-w / 2.0, w / 2.0, w / 2.0, -w / 2.0}, cy[4] = {-h / 2.0, -h / 2.0, h / 2.0, h / 2.0};
    for (int k = 0; k < 4; k++) px[k] = mid + cx[k] * c + cy[k] * s, py[k] = mid + cy[k] * c - cx[k] * s;
    // A row more each side: fixed-point steps may read a pixel beyond the outline.
    const double top = y0 - 1.0, bottom = y1 + 1.0;
    double lo = 1e18, hi = -1e18;
    for (int k = 0; k < 4; k++) {
        const int n = (k + 1) % 4;
        double ax = px[k], ay = py[k], bx = px[n], by = py[n];
        if (std::max(ay, by) < top || std::min(ay, by) > bottom) continue;
        // The edge clipped to the band: its x where it enters and leaves it.
        for (double y : {std::clamp(ay, top, bottom), std::clamp(by, top, bottom)}) {
            double x = ay == by ? ax : ax + (bx - ax) * (y - ay) / (by - ay);
            if (ay == by) lo = std::min({lo, ax, bx}), hi = std::max({hi, ax, bx});
            lo = std::min(lo, x), hi = std::max(hi, x);
        }
    }
    if (lo > hi) return 0;
    *x0 = std::clamp(static_cast<int>(std::floor(lo)) - 1, 0, side);
    *x1 = std::clamp(static_cast<int>(std::ceil(hi)) + 2, 0, side);
    return *x1 > *x0;
}
