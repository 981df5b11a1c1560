#include "platform/pixel_rows.h"

#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

#if defined(__x86_64__)
const bool kShuffle = __builtin_cpu_supports("ssse3");

// Five pixels per step; the sixteenth byte written is the next pixel's,
// which the next step (or the tail) writes again. Six pixels must remain,
// so that the sixteen bytes read lie inside the row.
__attribute__((target("ssse3"))) int swapShuffled(unsigned char* dst, const unsigned char* src, int n) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int k = 0;
    for (; k + 6 <= n; k += 5)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k * 3),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k * 3)), order));
    return k;
}

// Four pixels per step, read as sixteen bytes (so six must remain), red
// first or blue first in the source.
__attribute__((target("ssse3"))) int xrgbShuffled(uint32_t* dst, const unsigned char* src, int n, bool blueFirst) {
    const __m128i order = blueFirst ? _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1)
                                    : _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int k = 0;
    for (; k + 6 <= n; k += 4) {
        __m128i v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k * 3)), order);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k), _mm_or_si128(v, opaque));
    }
    return k;
}
#endif

}  // namespace

void pixel_row_swap_rb(unsigned char* dst, const unsigned char* src, int n) {
    int k = 0;
#if defined(__x86_64__)
    if (kShuffle) k = swapShuffled(dst, src, n);
#endif
    for (; k < n; k++) {
        unsigned char a = src[k * 3], b = src[k * 3 + 1], c = src[k * 3 + 2];
        dst[k * 3] = c;
        dst[k * 3 + 1] = b;
        dst[k * 3 + 2] = a;
    }
}

namespace {

// red, blue: where in a source pixel the two lie (0 and 2, or 2 and 0).
void toXrgb(uint32_t* dst, const unsigned char* src, int n, int red, int blue) {
    int k = 0;
#if defined(__x86_64__)
    if (kShuffle) k = xrgbShuffled(dst, src, n, red == 2);
#endif
    for (; k < n; k++) {
        const unsigned char* p = src + k * 3;
        dst[k] = 0xFF000000u | (uint32_t(p[red]) << 16) | (uint32_t(p[1]) << 8) | p[blue];
    }
}

}  // namespace

void pixel_row_bgr_to_xrgb(uint32_t* dst, const unsigned char* src, int n) { toXrgb(dst, src, n, 2, 0); }

void pixel_row_rgb_to_xrgb(uint32_t* dst, const unsigned char* src, int n) { toXrgb(dst, src, n, 0, 2); }
