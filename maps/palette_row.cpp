#include "maps/palette_row.h"

#include "platform/pixel_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KIV_PALETTE_VBMI 1
#endif

namespace {

void expandScalar(uint32_t* out, const unsigned char* idx, const uint32_t* c, long n) {
    long k = 0;
    for (; k + 4 <= n; k += 4) {
        uint32_t a = c[idx[k]], b = c[idx[k + 1]], d = c[idx[k + 2]], e = c[idx[k + 3]];
        out[k] = a, out[k + 1] = b, out[k + 2] = d, out[k + 3] = e;
    }
    for (; k < n; k++) out[k] = c[idx[k]];
}

#if defined(KIV_PALETTE_VBMI)
// A 256-entry byte table in four registers: two 128-entry permutes, the
// index's top bit choosing between them.
struct Table {
    __m512i t0, t1, t2, t3;
};

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i look(const Table& t, __m512i i) {
    __m512i low = _mm512_permutex2var_epi8(t.t0, i, t.t1), high = _mm512_permutex2var_epi8(t.t2, i, t.t3);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(i), low, high);
}

// 64 pixels a step, the last step masked. The byte unpacks work inside
// each 128-bit lane, so the indices are first put where the unpacks bring
// each pixel back in order: group of four g (0..15) of the step at lane
// g % 4, slot g / 4.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void expandVbmi(uint32_t* out, const unsigned char* idx,
                                                                      const PaletteRow& row, long n) {
    const Table b{_mm512_load_si512(row.plane[0]), _mm512_load_si512(row.plane[0] + 64),
                  _mm512_load_si512(row.plane[0] + 128), _mm512_load_si512(row.plane[0] + 192)};
    const Table g{_mm512_load_si512(row.plane[1]), _mm512_load_si512(row.plane[1] + 64),
                  _mm512_load_si512(row.plane[1] + 128), _mm512_load_si512(row.plane[1] + 192)};
    const Table r{_mm512_load_si512(row.plane[2]), _mm512_load_si512(row.plane[2] + 64),
                  _mm512_load_si512(row.plane[2] + 128), _mm512_load_si512(row.plane[2] + 192)};
    alignas(64) unsigned char order[64];
    for (int p = 0; p < 64; p++) {
        int lane = p / 16, slot = p % 16 / 4, t = p % 4;
        order[p] = static_cast<unsigned char>(16 * slot + 4 * lane + t);
    }
    const __m512i shuffle = _mm512_load_si512(order), opaque = _mm512_set1_epi8(static_cast<char>(0xFF));
    for (long k = 0; k < n; k += 64) {
        const long left = n - k;
        const __m512i loaded = left >= 64 ? _mm512_loadu_si512(idx + k) : _mm512_maskz_loadu_epi8((1ULL << left) - 1, idx + k);
        __m512i i = _mm512_maskz_permutexvar_epi8(~0ULL, shuffle, loaded);
        __m512i vb = look(b, i), vg = look(g, i), vr = look(r, i);
        __m512i bgLo = _mm512_unpacklo_epi8(vb, vg), bgHi = _mm512_unpackhi_epi8(vb, vg);
        __m512i raLo = _mm512_unpacklo_epi8(vr, opaque), raHi = _mm512_unpackhi_epi8(vr, opaque);
        const __m512i quarter[4] = {_mm512_unpacklo_epi16(bgLo, raLo), _mm512_unpackhi_epi16(bgLo, raLo),
                                    _mm512_unpacklo_epi16(bgHi, raHi), _mm512_unpackhi_epi16(bgHi, raHi)};
        for (int q = 0; q < 4; q++) {
            long m = left - 16 * q;
            if (m >= 16) _mm512_storeu_si512(out + k + 16 * q, quarter[q]);
            else if (m > 0) _mm512_mask_storeu_epi32(out + k + 16 * q, static_cast<__mmask16>((1u << m) - 1), quarter[q]);
        }
    }
}
#endif

}  // namespace

void palette_row_make(PaletteRow* row, const uint32_t* colours, const ColourCurve* curve) {
    for (int i = 0; i < 256; i++) {
        uint32_t c = curve ? colour_curve_pixel(*curve, colours[i]) : colours[i];
        row->colours[i] = c;
        row->plane[0][i] = static_cast<unsigned char>(c);
        row->plane[1][i] = static_cast<unsigned char>(c >> 8);
        row->plane[2][i] = static_cast<unsigned char>(c >> 16);
    }
}

void palette_row_expand(uint32_t* out, const unsigned char* indices, const PaletteRow& row, long n) {
#if defined(KIV_PALETTE_VBMI)
    // Short runs are not worth the tables' loads.
    if (n >= 32 && __builtin_cpu_supports("avx512vbmi")) return expandVbmi(out, indices, row, n);
#endif
    expandScalar(out, indices, row.colours, n);
}

void palette_row_rgb(uint32_t* out, const unsigned char* rgb, const ColourCurve* curve, long n) {
    if (!curve) {
        pixel_row_rgb_to_xrgb(out, rgb, static_cast<int>(n));
        return;
    }
    for (long k = 0; k < n; k++, rgb += 3)
        out[k] = 0xFF000000u | static_cast<uint32_t>(curve->red[rgb[0]]) << 16 |
                 static_cast<uint32_t>(curve->green[rgb[1]]) << 8 | curve->blue[rgb[2]];
}
