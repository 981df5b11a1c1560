#include "app/night_palette.h"

#include <cstddef>
#include <initializer_list>

namespace {

// What white becomes (a dim brown) and how much of each channel's curve is
// the square term; all stay within 255 so the arithmetic fits 16 bits.
constexpr uint16_t kTop[3] = {130, 88, 62};
constexpr uint16_t kQuadPercent = 35;

// Written as high halves of 16-bit products (v * 256 * k >> 16), which
// vector units do in one step.
inline unsigned char map(uint16_t v, uint16_t quad, uint16_t lin) {
    uint16_t v16 = static_cast<uint16_t>(v << 8);
    uint16_t slope = static_cast<uint16_t>(((static_cast<uint32_t>(v16) * quad) >> 16) + lin);
    return static_cast<unsigned char>((static_cast<uint32_t>(v16) * slope) >> 16);
}

}  // namespace

// A pixel's bytes in memory: blue, green, red, then the unused one.
constexpr int kRed = 2, kGreen = 1, kBlue = 0;

void night_palette_make(NightPalette* palette) {
    for (int i = 0; i < 128; i++) {
        int byte = i % 4;
        if (byte == 3) {  // kept: the curve is the identity
            palette->quad[i] = 0;
            palette->lin[i] = 256;
            continue;
        }
        uint16_t top = kTop[byte == kRed ? 0 : byte == kGreen ? 1 : 2];
        palette->quad[i] = static_cast<uint16_t>(top * kQuadPercent / 100);
        palette->lin[i] = static_cast<uint16_t>(top - palette->quad[i]);
    }
}

uint32_t night_palette_colour(const NightPalette& palette, uint32_t rgb) {
    uint32_t out = 0;
    for (int byte : {kRed, kGreen, kBlue}) {
        uint16_t v = (rgb >> (8 * byte)) & 0xFF;
        out |= static_cast<uint32_t>(map(v, palette.quad[byte], palette.lin[byte])) << (8 * byte);
    }
    return out;
}

void night_palette_curve(const NightPalette& palette, ColourCurve* curve) {
    for (int v = 0; v < 256; v++) {
        const uint16_t u = static_cast<uint16_t>(v);
        curve->red[v] = map(u, palette.quad[kRed], palette.lin[kRed]);
        curve->green[v] = map(u, palette.quad[kGreen], palette.lin[kGreen]);
        curve->blue[v] = map(u, palette.quad[kBlue], palette.lin[kBlue]);
    }
}

namespace {

// The curve rises, so the day values that give a night value lie together.
void invert(const unsigned char (&curve)[256], unsigned char (&day)[256]) {
    for (int n = 0, v = 0; n < 256; n++) {
        while (v < 255 && curve[v] < n) v++;
        int last = v;
        while (last < 255 && curve[last + 1] == n) last++;
        day[n] = static_cast<unsigned char>(curve[v] == n ? (v + last) / 2 : v);
    }
}

}  // namespace

const NightColours& night_colours() {
    static const NightColours made = [] {
        NightPalette p;
        night_palette_make(&p);
        NightColours c;
        night_palette_curve(p, &c.curve);
        invert(c.curve.red, c.day.red);
        invert(c.curve.green, c.day.green);
        invert(c.curve.blue, c.day.blue);
        return c;
    }();
    return made;
}

// Twice as wide with AVX2 where the processor has it (chosen at load time;
// GCC only, as clang 14 names the clones apart from the declaration).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void night_palette_apply(const NightPalette& palette, uint32_t* px, int stride, int x, int y, int width, int height) {
    if (!px || width <= 0 || height <= 0) return;
    const size_t bytes = static_cast<size_t>(width) * 4, whole = bytes - bytes % 128;
    // Local copies: the frame's bytes may alias anything, the copies cannot.
    uint16_t quad[128], lin[128];
    for (int i = 0; i < 128; i++) quad[i] = palette.quad[i], lin[i] = palette.lin[i];
    for (int row = 0; row < height; row++) {
        unsigned char* __restrict p = reinterpret_cast<unsigned char*>(px + static_cast<long>(y + row) * stride + x);
        // Fixed 128-byte blocks: the compiler turns this into vector code.
        for (size_t at = 0; at < whole; at += 128)
            for (int i = 0; i < 128; i++) p[at + i] = map(p[at + i], quad[i], lin[i]);
        for (size_t i = whole; i < bytes; i++) p[i] = map(p[i], quad[i - whole], lin[i - whole]);
    }
}
