#include "app/night_palette.h"

#include <cstddef>

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

void night_palette_make(NightPalette* palette) {
    for (int i = 0; i < 96; i++) {
        uint16_t top = kTop[i % 3];
        palette->quad[i] = static_cast<uint16_t>(top * kQuadPercent / 100);
        palette->lin[i] = static_cast<uint16_t>(top - palette->quad[i]);
    }
}

uint32_t night_palette_colour(const NightPalette& palette, uint32_t rgb) {
    uint32_t out = 0;
    for (int c = 0; c < 3; c++) {
        uint16_t v = (rgb >> (16 - 8 * c)) & 0xFF;
        out |= static_cast<uint32_t>(map(v, palette.quad[c], palette.lin[c])) << (16 - 8 * c);
    }
    return out;
}

// Twice as wide with AVX2 where the processor has it (chosen at load time;
// GCC only, as clang 14 names the clones apart from the declaration).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void night_palette_apply(const NightPalette& palette, unsigned char* rgb, int stride, int x, int y, int width,
                         int height) {
    if (!rgb || width <= 0 || height <= 0) return;
    const size_t bytes = static_cast<size_t>(width) * 3, whole = bytes - bytes % 96;
    // Local copies: the frame's bytes may alias anything, the copies cannot.
    uint16_t quad[96], lin[96];
    for (int i = 0; i < 96; i++) quad[i] = palette.quad[i], lin[i] = palette.lin[i];
    for (int row = 0; row < height; row++) {
        unsigned char* __restrict p = rgb + static_cast<long>(y + row) * stride + x * 3L;
        // Fixed 96-byte blocks: the compiler turns this into vector code.
        for (size_t at = 0; at < whole; at += 96)
            for (int i = 0; i < 96; i++) p[at + i] = map(p[at + i], quad[i], lin[i]);
        for (size_t i = whole; i < bytes; i++) p[i] = map(p[i], quad[i - whole], lin[i - whole]);
    }
}
