#include "maps/view_rotate.h"

#include <cmath>

namespace {

constexpr int kShift = 16;
constexpr int64_t kOne = int64_t{1} << kShift;

// One channel between four neighbours, fx and fy in 0..255.
inline uint32_t blend(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t fx, uint32_t fy) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t pa = (a >> shift) & 0xFF, pb = (b >> shift) & 0xFF, pc = (c >> shift) & 0xFF, pd = (d >> shift) & 0xFF;
        uint32_t top = pa * (256 - fx) + pb * fx, bottom = pc * (256 - fx) + pd * fx;
        out |= ((top * (256 - fy) + bottom * fy + 32768) >> 16) << shift;
    }
    return out;
}

}  // namespace

int view_rotate_cover(int w, int h) {
    return static_cast<int>(std::ceil(std::sqrt(double(w) * w + double(h) * h))) + 2;
}

void view_rotate_xrgb(const uint32_t* src, int sw, int sh, int sstride, double angle, uint32_t* dst, int dw, int dh,
                      int dstride) {
    if (!src || !dst || sw < 2 || sh < 2 || dw <= 0 || dh <= 0) return;
    const double c = std::cos(angle), s = std::sin(angle);
    // The pane's pixel centre (i + 0.5, j + 0.5), as an offset from its
    // middle, turned back into the picture: (dx c + dy s, dy c - dx s),
    // less half a pixel for the corner of the pixel it is read from.
    const double scx = sw / 2.0 - 0.5, scy = sh / 2.0 - 0.5;
    const int64_t stepX = std::llround(c * kOne), stepY = std::llround(-s * kOne);
    const int64_t maxX = int64_t{sw - 1} << kShift, maxY = int64_t{sh - 1} << kShift;
    for (int j = 0; j < dh; j++) {
        const double dy = j + 0.5 - dh / 2.0, dx = 0.5 - dw / 2.0;
        int64_t fx = std::llround((scx + dx * c + dy * s) * kOne), fy = std::llround((scy + dy * c - dx * s) * kOne);
        uint32_t* out = dst + static_cast<int64_t>(j) * dstride;
        for (int i = 0; i < dw; i++, fx += stepX, fy += stepY) {
            if (fx < 0 || fy < 0 || fx >= maxX || fy >= maxY) continue;
            const uint32_t* p = src + (fy >> kShift) * sstride + (fx >> kShift);
            uint32_t wx = static_cast<uint32_t>((fx & (kOne - 1)) >> (kShift - 8));
            uint32_t wy = static_cast<uint32_t>((fy & (kOne - 1)) >> (kShift - 8));
            out[i] = blend(p[0], p[1], p[sstride], p[sstride + 1], wx, wy);
        }
    }
}
