#include "maps/view_compose_scaled.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The weights of one axis: output pixel o takes count[o] source pixels
// from first[o], weighted weight[offset[o]...] in 256ths that sum to 256.
struct Taps {
    std::vector<int> first, count, offset;
    std::vector<uint32_t> weight;
};

Taps taps(int outputs, int sources, double start, double f) {
    Taps t;
    t.first.resize(outputs);
    t.count.resize(outputs);
    t.offset.resize(outputs);
    for (int o = 0; o < outputs; o++) {
        double a = start + o * f, b = a + f;
        int k0 = static_cast<int>(std::floor(a)), k1 = static_cast<int>(std::ceil(b));
        if (k1 <= k0) k1 = k0 + 1;
        t.offset[o] = static_cast<int>(t.weight.size());
        // Past the source's edge the edge pixel stands in: clamped indices
        // run together, so each appears once with the weight of its part.
        int from = std::clamp(k0, 0, sources - 1);
        t.first[o] = from;
        size_t at = t.weight.size();
        for (int k = from; k <= std::clamp(k1 - 1, 0, sources - 1); k++) t.weight.push_back(0);
        uint32_t sum = 0;
        size_t largest = at;
        for (int k = k0; k < k1; k++) {
            double part = (std::min(b, k + 1.0) - std::max(a, static_cast<double>(k))) / f;
            size_t i = at + static_cast<size_t>(std::clamp(k, 0, sources - 1) - from);
            t.weight[i] += static_cast<uint32_t>(std::lround(part * 256));
        }
        for (size_t i = at; i < t.weight.size(); i++) {
            sum += t.weight[i];
            if (t.weight[i] > t.weight[largest]) largest = i;
        }
        // Rounding leaves the sum a little off 256: the largest part absorbs it.
        t.weight[largest] = t.weight[largest] + 256 - sum;
        t.count[o] = static_cast<int>(t.weight.size() - at);
    }
    return t;
}

// Red and blue ride in one 32-bit lane, green in another: with weights
// summing to 256 no channel reaches into the next, two multiplies a tap.
void filterRow(const uint32_t* src, const Taps& t, uint32_t* out, int n) {
    for (int o = 0; o < n; o++) {
        const uint32_t* s = src + t.first[o];
        const uint32_t* w = &t.weight[static_cast<size_t>(t.offset[o])];
        uint32_t rb = 0x00800080, g = 0x00008000;
        for (int i = 0, c = t.count[o]; i < c; i++) {
            rb += (s[i] & 0x00FF00FF) * w[i];
            g += (s[i] & 0x0000FF00) * w[i];
        }
        out[o] = ((rb >> 8) & 0x00FF00FF) | ((g >> 8) & 0x0000FF00);
    }
}

void filterColumns(const uint32_t* const* rows, const uint32_t* w, int n, uint32_t* out, int width) {
    for (int x = 0; x < width; x++) {
        uint32_t rb = 0x00800080, g = 0x00008000;
        for (int i = 0; i < n; i++) {
            uint32_t p = rows[i][x];
            rb += (p & 0x00FF00FF) * w[i];
            g += (p & 0x0000FF00) * w[i];
        }
        out[x] = ((rb >> 8) & 0x00FF00FF) | ((g >> 8) & 0x0000FF00);
    }
}

// The level's own picture into 32-bit pixels.
// until the pane composes into the frame
long composeXrgb(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                 std::vector<unsigned char>* rgb) {
    rgb->resize(static_cast<size_t>(view.width) * view.height * 3);
    long hatched = view_compose(view, images, rgb->data());
    const unsigned char* p = rgb->data();
    for (int y = 0; y < view.height; y++) {
        uint32_t* out = xrgb + static_cast<size_t>(y) * stride;
        for (int x = 0; x < view.width; x++, p += 3)
            out[x] = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
    }
    return hatched;
}

// Source rows composed at a time: enough that the sheets' placement is
// paid for seldom, few enough that a band stays in the cache.
constexpr int kBandRows = 48;

}  // namespace

long view_compose_scaled(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride) {
    const int width = view.width, height = view.height;
    if (width <= 0 || height <= 0 || !(view.mpp > 0)) return 0;
    const double own = view_level_mpp(view.level, view.big), f = view.mpp / own;
    std::vector<unsigned char> rgb;
    if (std::fabs(f - 1) < 1e-9) return composeXrgb(view, images, xrgb, stride, &rgb);
    // The level's pixel grid starts at the view's top-left corner: screen
    // pixel x covers level pixels [x * f, (x + 1) * f).
    double left, top;
    view_screen_to_plane(view, 0, 0, &left, &top);
    const int sw = std::max(1, static_cast<int>(std::ceil(width * f - 1e-9)));
    const int sh = std::max(1, static_cast<int>(std::ceil(height * f - 1e-9)));
    Taps cols = taps(width, sw, 0, f), rows = taps(height, sh, 0, f);
    std::vector<uint32_t> band, across;
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
        band.resize(static_cast<size_t>(sw) * n);
        hatched += composeXrgb(part, images, band.data(), sw, &rgb);
        across.resize(static_cast<size_t>(width) * n);
        for (int k = 0; k < n; k++)
            filterRow(&band[static_cast<size_t>(k) * sw], cols, &across[static_cast<size_t>(k) * width], width);
        for (; y < y1; y++) {
            picked.clear();
            for (int i = 0; i < rows.count[y]; i++)
                picked.push_back(&across[static_cast<size_t>(rows.first[y] + i - first) * width]);
            filterColumns(picked.data(), &rows.weight[static_cast<size_t>(rows.offset[y])], rows.count[y],
                          xrgb + static_cast<size_t>(y) * stride, width);
        }
    }
    return std::lround(hatched / (f * f));
}
