#include "maps/view_compose_scaled.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KIV_SCALED_WIDE 1
#if !defined(__clang__)
// GCC 12's AVX-512 shifts start from a register it then calls uninitialized.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#endif

namespace {

// The weights of one axis: output pixel o takes count[o] source pixels
// from first[o], weighted weight[o * stride...] in 256ths that sum to 256;
// stride is the most any takes, the rest of each run zero.
struct Taps {
    std::vector<int> first, count;
    std::vector<uint32_t> weight;
    int stride = 1;
    // The same weights four outputs at a time, tap by tap, each in both
    // 16-bit halves of its word: [o / 4][tap][o % 4].
    std::vector<uint32_t> lanes;
    // Where the processor has wide registers: `group` outputs at a time read
    // one window of source pixels from base[g]; tap i of output j is window
    // pixel index[(g * stride + i) * lanes + j], weighted weights[...] (both
    // halves). group 0: some group's window would not fit.
    struct Windows {
        int group = 0;
        std::vector<int> base;
        std::vector<uint32_t> index, weights;
    } wide;
};

// The widest registers the filters use here.
enum class Registers { sse2, avx2, avx512 };

Registers registersHere() {
#if defined(KIV_SCALED_WIDE)
    if (__builtin_cpu_supports("avx512bw")) return Registers::avx512;
    if (__builtin_cpu_supports("avx2")) return Registers::avx2;
#endif
    return Registers::sse2;
}

void windowsOf(Taps* t, int outputs, int lanes, int window, std::initializer_list<int> groups);

Taps taps(int outputs, int sources, double f, Registers registers) {
    Taps t;
    t.first.resize(outputs);
    t.count.resize(outputs);
    t.stride = static_cast<int>(std::ceil(f)) + 1;
    t.weight.assign(static_cast<size_t>(outputs) * t.stride, 0);
    for (int o = 0; o < outputs; o++) {
        double a = o * f, b = a + f;
        int k0 = static_cast<int>(std::floor(a)), k1 = std::max(k0 + 1, static_cast<int>(std::ceil(b)));
        // Past the source's edge the edge pixel stands in.
        int from = std::clamp(k0, 0, sources - 1);
        uint32_t* w = &t.weight[static_cast<size_t>(o) * t.stride];
        uint32_t sum = 0;
        int largest = 0, count = 1;
        for (int k = k0; k < k1; k++) {
            double part = (std::min(b, k + 1.0) - std::max(a, static_cast<double>(k))) / f;
            int i = std::min(std::clamp(k, 0, sources - 1) - from, t.stride - 1);
            w[i] += static_cast<uint32_t>(std::lround(part * 256));
            count = std::max(count, i + 1);
        }
        for (int i = 0; i < count; i++) {
            sum += w[i];
            if (w[i] > w[largest]) largest = i;
        }
        // Rounding leaves the sum a little off 256: the largest part absorbs it.
        w[largest] = w[largest] + 256 - sum;
        t.first[o] = from;
        t.count[o] = count;
    }
    t.lanes.assign(static_cast<size_t>(outputs + 3) / 4 * 4 * t.stride, 0);
    for (int o = 0; o < outputs; o++)
        for (int i = 0; i < t.stride; i++)
            t.lanes[(static_cast<size_t>(o / 4) * t.stride + i) * 4 + o % 4] =
                t.weight[static_cast<size_t>(o) * t.stride + i] * 0x00010001u;
    if (registers == Registers::avx512) windowsOf(&t, outputs, 16, 32, {16, 8, 4});
    // Eight outputs from two registers of source pixels: wherever eight
    // outputs take at most sixteen (to about 1.7 times the level's scale).
    if (registers == Registers::avx2) windowsOf(&t, outputs, 8, 16, {8});
    return t;
}

// The taps' windows for registers of `lanes` pixels, read from a window of
// `window` pixels, the largest of the groups whose windows fit.
void windowsOf(Taps* t, int outputs, int lanes, int window, std::initializer_list<int> groups) {
    Taps::Windows& w = t->wide;
    for (int group : groups) {
        bool fits = true;
        for (int o = 0; o < outputs && fits; o += group)
            fits = t->first[std::min(o + group, outputs) - 1] - t->first[o] + t->stride <= window;
        if (!fits) continue;
        w.group = group;
        const int count = (outputs + group - 1) / group;
        w.base.resize(count);
        w.index.assign(static_cast<size_t>(count) * t->stride * lanes, 0);
        w.weights.assign(w.index.size(), 0);
        for (int g = 0; g < count; g++) {
            w.base[g] = t->first[g * group];
            for (int j = 0; j < group && g * group + j < outputs; j++)
                for (int i = 0; i < t->stride; i++) {
                    const int o = g * group + j;
                    const size_t at = (static_cast<size_t>(g) * t->stride + i) * lanes + j;
                    w.index[at] = static_cast<uint32_t>(t->first[o] - w.base[g] + i);
                    w.weights[at] = t->weight[static_cast<size_t>(o) * t->stride + i] * 0x00010001u;
                }
        }
        return;
    }
}

// Red and blue ride in the two 16-bit halves of one word, green and the
// top byte in another: a channel times a weight (at most 255 x 256) and
// their sum never reach past a half, so a 16-bit multiply does each.
inline uint32_t blended(uint32_t rb, uint32_t ga) {
    return (((rb + 0x00800080) >> 8) & 0x00FF00FF) | ((((ga + 0x00800080) >> 8) & 0x00FF00FF) << 8);
}

#if defined(KIV_SCALED_WIDE)
#define KIV_WIDE __attribute__((target("avx512f,avx512bw")))

// Red and blue, green and the top byte, each weighted into 16-bit halves.
KIV_WIDE inline void weigh(__m512i p, __m512i w, __m512i* rb, __m512i* ga) {
    const __m512i mask = _mm512_set1_epi32(0x00FF00FF);
    *rb = _mm512_add_epi16(*rb, _mm512_mullo_epi16(_mm512_and_si512(p, mask), w));
    *ga = _mm512_add_epi16(*ga, _mm512_mullo_epi16(_mm512_and_si512(_mm512_srli_epi32(p, 8), mask), w));
}

KIV_WIDE inline __m512i joined(__m512i rb, __m512i ga) {
    return _mm512_or_si512(_mm512_srli_epi16(rb, 8), _mm512_slli_epi32(_mm512_srli_epi16(ga, 8), 8));
}

// Across a row, a group of outputs a step: their taps permuted out of the
// one window of source pixels they share. src is padded by 32 pixels.
KIV_WIDE void filterRowWide(const uint32_t* src, const Taps& t, uint32_t* out, int n) {
    const __m512i half = _mm512_set1_epi16(0x80);
    const Taps::Windows& w = t.wide;
    const uint32_t *index = w.index.data(), *weights = w.weights.data();
    for (int o = 0, g = 0; o < n; o += w.group, g++, index += 16 * t.stride, weights += 16 * t.stride) {
        const __m512i lo = _mm512_loadu_si512(src + w.base[g]), hi = _mm512_loadu_si512(src + w.base[g] + 16);
        __m512i rb = half, ga = half;
        for (int i = 0; i < t.stride; i++)
            weigh(_mm512_permutex2var_epi32(lo, _mm512_loadu_si512(index + 16 * i), hi),
                  _mm512_loadu_si512(weights + 16 * i), &rb, &ga);
        const int m = std::min(w.group, n - o);
        _mm512_mask_storeu_epi32(out + o, static_cast<__mmask16>((1u << m) - 1), joined(rb, ga));
    }
}

// Down the rows, sixteen pixels a step.
KIV_WIDE int filterColumnsWide(const uint32_t* const* rows, const uint32_t* w, int n, uint32_t* out, int width) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m512i rb = _mm512_set1_epi16(0x80), ga = rb;
        for (int i = 0; i < n; i++)
            weigh(_mm512_loadu_si512(rows[i] + x), _mm512_set1_epi16(static_cast<short>(w[i])), &rb, &ga);
        _mm512_storeu_si512(out + x, joined(rb, ga));
    }
    return x;
}

// The same with 256-bit registers, eight pixels a step (most laptops').
#define KIV_AVX2 __attribute__((target("avx2")))

KIV_AVX2 inline void weigh(__m256i p, __m256i w, __m256i* rb, __m256i* ga) {
    const __m256i mask = _mm256_set1_epi32(0x00FF00FF);
    *rb = _mm256_add_epi16(*rb, _mm256_mullo_epi16(_mm256_and_si256(p, mask), w));
    *ga = _mm256_add_epi16(*ga, _mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi32(p, 8), mask), w));
}

KIV_AVX2 inline __m256i joined(__m256i rb, __m256i ga) {
    return _mm256_or_si256(_mm256_srli_epi16(rb, 8), _mm256_slli_epi32(_mm256_srli_epi16(ga, 8), 8));
}

KIV_AVX2 inline __m256i load8(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Across a row, eight outputs a step: each tap picked out of the sixteen
// source pixels they share (two registers, permuted, the one a lane's
// index falls in kept). src is padded by 16 pixels.
KIV_AVX2 void filterRowAvx2(const uint32_t* src, const Taps& t, uint32_t* out, int n) {
    const __m256i half = _mm256_set1_epi16(0x80), seven = _mm256_set1_epi32(7),
                  lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const Taps::Windows& w = t.wide;
    const uint32_t *index = w.index.data(), *weights = w.weights.data();
    for (int o = 0, g = 0; o < n; o += 8, g++, index += 8 * t.stride, weights += 8 * t.stride) {
        const __m256i lo = load8(src + w.base[g]), hi = load8(src + w.base[g] + 8);
        __m256i rb = half, ga = half;
        for (int i = 0; i < t.stride; i++) {
            const __m256i k = load8(index + 8 * i);
            const __m256i p = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, k), _mm256_permutevar8x32_epi32(hi, k),
                                                 _mm256_cmpgt_epi32(k, seven));
            weigh(p, load8(weights + 8 * i), &rb, &ga);
        }
        const int m = std::min(8, n - o);
        if (m == 8) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o), joined(rb, ga));
        else _mm256_maskstore_epi32(reinterpret_cast<int*>(out + o), _mm256_cmpgt_epi32(_mm256_set1_epi32(m), lane), joined(rb, ga));
    }
}

// Down the rows, eight pixels a step.
KIV_AVX2 int filterColumnsAvx2(const uint32_t* const* rows, const uint32_t* w, int n, uint32_t* out, int width) {
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        __m256i rb = _mm256_set1_epi16(0x80), ga = rb;
        for (int i = 0; i < n; i++) weigh(load8(rows[i] + x), _mm256_set1_epi16(static_cast<short>(w[i])), &rb, &ga);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), joined(rb, ga));
    }
    return x;
}
#endif

// Across a row: N taps an output pixel (the source row padded so the last
// ones may read past its end, with weight 0).
template <int N>
void filterRow(const uint32_t* src, const Taps& t, uint32_t* out, int n) {
    int o = 0;
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi32(0x00FF00FF), half = _mm_set1_epi16(0x80);
    const uint32_t* lanes = t.lanes.data();
    for (; o + 4 <= n; o += 4, lanes += 4 * N) {
        const uint32_t *s0 = src + t.first[o], *s1 = src + t.first[o + 1], *s2 = src + t.first[o + 2],
                       *s3 = src + t.first[o + 3];
        __m128i rb = half, ga = half;
        for (int i = 0; i < N; i++) {
            __m128i p = _mm_setr_epi32(static_cast<int>(s0[i]), static_cast<int>(s1[i]), static_cast<int>(s2[i]),
                                       static_cast<int>(s3[i]));
            __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + 4 * i));
            rb = _mm_add_epi16(rb, _mm_mullo_epi16(_mm_and_si128(p, mask), w));
            ga = _mm_add_epi16(ga, _mm_mullo_epi16(_mm_and_si128(_mm_srli_epi32(p, 8), mask), w));
        }
        __m128i v = _mm_or_si128(_mm_srli_epi16(rb, 8), _mm_slli_epi32(_mm_srli_epi16(ga, 8), 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);
    }
#endif
    const uint32_t* w = t.weight.data() + static_cast<size_t>(o) * N;
    for (; o < n; o++, w += N) {
        const uint32_t* s = src + t.first[o];
        uint32_t rb = 0, ga = 0;
        for (int i = 0; i < N; i++) {
            rb += (s[i] & 0x00FF00FF) * w[i];
            ga += ((s[i] >> 8) & 0x00FF00FF) * w[i];
        }
        out[o] = blended(rb, ga);
    }
}

void filterRowAny(const uint32_t* src, const Taps& t, uint32_t* out, int n) {
    switch (t.stride) {
    case 2: return filterRow<2>(src, t, out, n);
    case 3: return filterRow<3>(src, t, out, n);
    case 4: return filterRow<4>(src, t, out, n);
    default:
        for (int o = 0; o < n; o++) {
            const uint32_t* s = src + t.first[o];
            const uint32_t* w = &t.weight[static_cast<size_t>(o) * t.stride];
            uint32_t rb = 0, ga = 0;
            for (int i = 0; i < t.count[o]; i++) {
                rb += (s[i] & 0x00FF00FF) * w[i];
                ga += ((s[i] >> 8) & 0x00FF00FF) * w[i];
            }
            out[o] = blended(rb, ga);
        }
    }
}

// Down the rows: n rows weighted into one, four pixels at a time.
void filterColumns(const uint32_t* const* rows, const uint32_t* w, int n, uint32_t* out, int width, Registers registers) {
    int x = 0;
#if defined(KIV_SCALED_WIDE)
    if (registers == Registers::avx512) x = filterColumnsWide(rows, w, n, out, width);
    else if (registers == Registers::avx2) x = filterColumnsAvx2(rows, w, n, out, width);
#else
    (void)registers;
#endif
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi32(0x00FF00FF), half = _mm_set1_epi16(0x80);
    for (; x + 4 <= width; x += 4) {
        __m128i rb = half, ga = half;
        for (int i = 0; i < n; i++) {
            __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + x));
            __m128i wi = _mm_set1_epi16(static_cast<short>(w[i]));
            rb = _mm_add_epi16(rb, _mm_mullo_epi16(_mm_and_si128(p, mask), wi));
            ga = _mm_add_epi16(ga, _mm_mullo_epi16(_mm_and_si128(_mm_srli_epi32(p, 8), mask), wi));
        }
        __m128i v = _mm_or_si128(_mm_srli_epi16(rb, 8), _mm_slli_epi32(_mm_srli_epi16(ga, 8), 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), v);
    }
#endif
    for (; x < width; x++) {
        uint32_t rb = 0, ga = 0;
        for (int i = 0; i < n; i++) {
            uint32_t p = rows[i][x];
            rb += (p & 0x00FF00FF) * w[i];
            ga += ((p >> 8) & 0x00FF00FF) * w[i];
        }
        out[x] = blended(rb, ga);
    }
}


// The pixels at 1 / f of a length of n, rounded up.
int scaledLength(int n, double f) { return std::max(1, static_cast<int>(std::ceil(n / f - 1e-9))); }

// One row of filtered rows across: src padded as the wide paths read it.
void filterAcross(const uint32_t* src, const Taps& t, uint32_t* out, int n, Registers registers) {
#if defined(KIV_SCALED_WIDE)
    if (registers == Registers::avx512 && t.wide.group) return filterRowWide(src, t, out, n);
    if (registers == Registers::avx2 && t.wide.group) return filterRowAvx2(src, t, out, n);
#else
    (void)registers;
#endif
    filterRowAny(src, t, out, n);
}

// Source rows composed at a time: enough that the sheets' placement is
// paid for seldom, few enough that a band stays in the cache.
constexpr int kBandRows = 48;

}  // namespace

long view_compose_scaled(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                         const ColourCurve* curve) {
    const int width = view.width, height = view.height;
    if (width <= 0 || height <= 0 || !(view.mpp > 0)) return 0;
    const double own = view_level_mpp(view.level, view.big), f = view.mpp / own;
    if (std::fabs(f - 1) < 1e-9) return view_compose(view, images, xrgb, stride, curve);
    // The level's pixel grid starts at the view's top-left corner: screen
    // pixel x covers level pixels [x * f, (x + 1) * f).
    double left, top;
    view_screen_to_plane(view, 0, 0, &left, &top);
    const int sw = scaledLength(width, 1 / f), sh = scaledLength(height, 1 / f);
    const Registers registers = registersHere();
    Taps cols = taps(width, sw, f, registers), rows = taps(height, sh, f, Registers::sse2);
    // Rows padded for the last taps of a row, which read past its end (a
    // whole window of the wide path's).
    const int padded = sw + cols.stride;
    std::vector<uint32_t> band, down(static_cast<size_t>(padded) + 32, 0);
    std::vector<const uint32_t*> picked;
    long hatched = 0;
    for (int y = 0; y < height;) {
        // The screen rows whose sources fit one band.
        int first = rows.first[y], last = first, y1 = y;
        while (y1 < height) {
            int end = rows.first[y1] + rows.count[y1];
            if (y1 > y && end - first > kBandRows) break;
            last = std::max(last, end);
            y1++;
        }
        const int n = last - first;
        ViewRecord part = view;
        part.mpp = own;
        part.width = sw;
        part.height = n;
        part.cx = left + sw * own / 2;
        part.cy = top - (first + n / 2.0) * own;
        band.resize(static_cast<size_t>(padded) * n);
        hatched += view_compose(part, images, band.data(), padded, curve);
        // Down the band's rows first (four pixels at a time), then across
        // the one row that makes: the costly gather runs once a screen row.
        for (; y < y1; y++) {
            picked.clear();
            for (int i = 0; i < rows.count[y]; i++)
                picked.push_back(&band[static_cast<size_t>(rows.first[y] + i - first) * padded]);
            filterColumns(picked.data(), &rows.weight[static_cast<size_t>(y) * rows.stride], rows.count[y], down.data(),
                          sw, registers);
            filterAcross(down.data(), cols, xrgb + static_cast<size_t>(y) * stride, width, registers);
        }
    }
    return std::lround(hatched / (f * f));
}

int view_compose_scaled_sheet(const DecodedSheet& sheet, double f, DecodedSheet* out) {
    if (sheet.width <= 0 || sheet.height <= 0 || (!sheet.indices && !sheet.pixels && !sheet.xrgb)) return 0;
    const int w = scaledLength(sheet.width, f), h = scaledLength(sheet.height, f);
    const size_t room = out->xrgb ? static_cast<size_t>(out->width) * out->height : 0, need = static_cast<size_t>(w) * h;
    uint32_t* pixels = out->xrgb.get();
    if (room < need) {
        pixels = static_cast<uint32_t*>(realloc(pixels, need * sizeof(uint32_t)));
        if (!pixels) return 0;
        (void)out->xrgb.release();
        out->xrgb.reset(pixels);
    }
    const Registers registers = registersHere();
    const Taps cols = taps(w, sheet.width, f, registers), rows = taps(h, sheet.height, f, Registers::sse2);
    PaletteRow palette;
    if (sheet.indices) palette_row_make(&palette, sheet.colours, nullptr);
    // Each source row is made frame pixels once, into a ring of as many rows
    // as an output row takes (consecutive rows, so never two in one slot).
    // Rows padded as the filters across read them.
    const int padded = sheet.width + cols.stride + 32, slots = rows.stride;
    std::vector<uint32_t> ring(static_cast<size_t>(padded) * slots, 0), down(padded, 0);
    std::vector<int> held(slots, -1);
    std::vector<const uint32_t*> picked(slots);
    for (int y = 0; y < h; y++) {
        for (int i = 0; i < rows.count[y]; i++) {
            const int k = rows.first[y] + i, slot = k % slots;
            uint32_t* row = &ring[static_cast<size_t>(slot) * padded];
            const size_t at = static_cast<size_t>(k) * sheet.width;
            if (held[slot] != k) {
                if (sheet.indices) palette_row_expand(row, sheet.indices.get() + at, palette, sheet.width);
                else if (sheet.xrgb) std::copy_n(sheet.xrgb.get() + at, sheet.width, row);
                else palette_row_rgb(row, sheet.pixels.get() + at * 3, nullptr, sheet.width);
                held[slot] = k;
            }
            picked[i] = row;
        }
        filterColumns(picked.data(), &rows.weight[static_cast<size_t>(y) * rows.stride], rows.count[y], down.data(),
                      sheet.width, registers);
        filterAcross(down.data(), cols, pixels + static_cast<size_t>(y) * w, w, registers);
    }
    out->width = w;
    out->height = h;
    out->extent = sheet.extent;
    out->pixels.reset();
    out->indices.reset();
    return 1;
}
