#include "maps/view_compose.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "maps/palette_row.h"

namespace {

// A sheet placed on the screen: columns [x0, x1), rows [y0, y1), centre.
struct Placed {
    long x0, y0, x1, y1;
    double ccx, ccy;
    const DecodedSheet* sheet;
};

// Screen columns [from, to) of one row that a sheet owns.
struct Span {
    long row, from, to;
};

constexpr int kHatchPeriod = 10;

// Diagonal lines fixed to the plane, so the hatching moves with the map.
void hatch(uint32_t* row, long from, long to, long phase, uint32_t ground, uint32_t line) {
    long p = ((phase + from) % kHatchPeriod + kHatchPeriod) % kHatchPeriod;
    for (long x = from; x < to; x++, p = p + 1 == kHatchPeriod ? 0 : p + 1) row[x] = p == 0 ? line : ground;
}

double distance2(const Placed& p, double x, double y) {
    double dx = x - p.ccx, dy = y - p.ccy;
    return dx * dx + dy * dy;
}

// The first column after x where the owner's span ends: its own right
// edge, or where a sheet that covers the row becomes nearer (at its left
// edge, or past the bisector of a sheet whose centre lies further right).
// *next is the sheet nearest there when one of those ends it, else null.
// row: the sheets that cover the row and may reach past x, by left edge.
long spanEnd(const Placed* const* row, const Placed* const* rowEnd, const Placed* owner, long x, double yc,
             long width, const Placed** next) {
    long end = std::min(width, owner->x1);
    *next = nullptr;
    double dyo = (yc - owner->ccy) * (yc - owner->ccy);
    for (; row != rowEnd && (*row)->x0 <= end; row++) {
        const Placed* k = *row;
        if (k == owner || k->x1 <= x) continue;
        long from = std::max(x, k->x0), at = end + 1;
        if (k->ccx > owner->ccx) {
            double dyk = (yc - k->ccy) * (yc - k->ccy);
            double cross = (k->ccx * k->ccx - owner->ccx * owner->ccx + dyk - dyo) / (2 * (k->ccx - owner->ccx));
            double first = std::floor(cross - 0.5) + 1;
            if (first <= end) at = std::max(std::max(from, x + 1), static_cast<long>(first));
        } else if (distance2(*k, from + 0.5, yc) < distance2(*owner, from + 0.5, yc)) {
            at = from;  // only at its edge: further right it falls behind
        }
        if (at < end || (at == end && *next && distance2(*k, at + 0.5, yc) < distance2(**next, at + 0.5, yc))) {
            end = at;
            *next = k;
        }
    }
    return end;
}

// A sheet kept as frame pixels (filtered to a scale between the levels):
// copied, through the curve at night.
void copyXrgb(uint32_t* out, const uint32_t* from, const ColourCurve* curve, long n) {
    if (!curve) {
        memcpy(out, from, static_cast<size_t>(n) * sizeof *out);
        return;
    }
    for (long k = 0; k < n; k++) out[k] = colour_curve_pixel(*curve, from[k]);
}

}  // namespace

void view_gather(const std::vector<ViewSheet>& needed, SheetCache* cache, ViewImages* images,
                 std::vector<ViewSheet>* missing) {
    images->clear();
    missing->clear();
    for (const ViewSheet& s : needed) {
        std::string why;
        auto image = s.format >= 0 ? sheet_cache_get(cache, s.path, s.format, &why) : nullptr;
        if (image) images->push_back(std::move(image));
        else missing->push_back(s);
    }
}

long view_compose(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                  const ColourCurve* curve) {
    return view_compose_rows(view, images, xrgb, stride, curve, 0, view.height);
}

long view_compose_rows(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                       const ColourCurve* curve, long rowFrom, long rowTo) {
    const ViewRun all{0, view.width};
    return view_compose_band(view, images, xrgb, stride, curve, ViewBand{rowFrom, rowTo, &all, 1});
}

long view_compose_band(const ViewRecord& view, const ViewImages& images, uint32_t* xrgb, int stride,
                       const ColourCurve* curve, const ViewBand& band) {
    const long width = view.width, height = std::min<long>(view.height, band.y1), rowFrom = std::max(0L, band.y0);
    // Each row's spans are found across the row from its left edge, as the
    // whole view finds them (the sheet owning a pixel is the one the row's
    // walk reaches it with), and cut to the band's runs.
    const long colTo = band.count ? std::min(width, band.runs[band.count - 1].x1) : 0;
    if (width <= 0 || height <= rowFrom || colTo <= 0 || !(view.mpp > 0)) return 0;
    double left, top;
    view_screen_to_plane(view, 0, 0, &left, &top);
    std::vector<Placed> placed;
    for (const auto& image : images) {
        SheetExtent e = image->extent;
        view_sheet_beside(view, &e);
        double sx = std::round((e.minX - left) / view.mpp), sy = std::round((top - e.maxY) / view.mpp);
        if (!(sx < width && sx + image->width > 0 && sy < height && sy + image->height > rowFrom)) continue;
        long x0 = static_cast<long>(sx), y0 = static_cast<long>(sy);
        placed.push_back({x0, y0, x0 + image->width, y0 + image->height, x0 + image->width / 2.0,
                          y0 + image->height / 2.0, image.get()});
    }
    // By left edge: the sheets a span can meet are a short run of each row.
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.x0 < b.x0; });
    long widest = 0;
    for (const Placed& p : placed) widest = std::max(widest, p.x1 - p.x0);
    long hatchPhase = std::lround(std::floor(left / view.mpp) - std::floor(top / view.mpp));
    long hatched = 0;
    uint32_t ground = 0xFF000000u | VIEW_HATCH_GROUND * 0x010101u, line = 0xFF000000u | VIEW_HATCH_LINE * 0x010101u;
    if (curve) ground = colour_curve_pixel(*curve, ground), line = colour_curve_pixel(*curve, line);
    std::vector<const Placed*> row;
    // Each span with its sheet, in one vector (a vector a sheet costs an
    // allocation each for hundreds of sheets between the levels).
    std::vector<std::pair<uint32_t, Span>> owned;
    owned.reserve(static_cast<size_t>(height - rowFrom) * std::min<size_t>(placed.size() + 1, 16));
    // The sheets covering a row change only at their top and bottom edges:
    // the row is changed only there, not gathered at every row (hundreds of
    // sheets between the levels). Those that end go, those whose top it is
    // come (in by top edge); placed lies by left edge, so the row kept in
    // address order is too.
    std::vector<const Placed*> byTop;
    byTop.reserve(placed.size());
    for (const Placed& p : placed) byTop.push_back(&p);
    std::sort(byTop.begin(), byTop.end(), [](const Placed* a, const Placed* b) { return a->y0 < b->y0; });
    size_t nextTop = 0;
    long rowEnds = rowFrom;            // the first row where one of the row's sheets has ended
    for (long py = rowFrom; py < height; py++) {
        uint32_t* out = xrgb + py * stride;
        if (py >= rowEnds || (nextTop < byTop.size() && byTop[nextTop]->y0 <= py)) {
            row.erase(std::remove_if(row.begin(), row.end(), [py](const Placed* p) { return p->y1 <= py; }), row.end());
            bool came = false;
            for (; nextTop < byTop.size() && byTop[nextTop]->y0 <= py; nextTop++)
                if (byTop[nextTop]->y1 > py) row.push_back(byTop[nextTop]), came = true;
            if (came) std::sort(row.begin(), row.end());
            rowEnds = height;
            for (const Placed* p : row) rowEnds = std::min(rowEnds, p->y1);
        }
        double yc = py + 0.5;
        const Placed* owner = nullptr;
        size_t lo = 0, run = 0;
        // The pieces of columns [from, to) inside the runs, each to put.
        auto cut = [&](long from, long to, auto put) {
            while (run < band.count && band.runs[run].x1 <= from) run++;
            for (size_t r = run; r < band.count && band.runs[r].x0 < to; r++) {
                const long a = std::max(from, band.runs[r].x0), b = std::min(to, std::min(band.runs[r].x1, width));
                if (a < b) put(a, b);
            }
        };
        for (long x = 0; x < colTo;) {
            while (lo < row.size() && row[lo]->x0 + widest <= x) lo++;
            long next = width;
            if (!owner) {
                double best = 0;
                for (size_t i = lo; i < row.size(); i++) {
                    const Placed* k = row[i];
                    if (k->x0 > x) {
                        next = k->x0;
                        break;
                    }
                    if (k->x1 <= x) continue;
                    double d = distance2(*k, x + 0.5, yc);
                    if (!owner || d < best) owner = k, best = d;
                }
            }
            if (!owner) {
                cut(x, next, [&](long a, long b) { hatch(out, a, b, hatchPhase + py, ground, line), hatched += b - a; });
                x = next;
                continue;
            }
            const Placed* successor;
            next = spanEnd(row.data() + lo, row.data() + row.size(), owner, x, yc, width, &successor);
            const auto sheet = static_cast<uint32_t>(owner - placed.data());
            cut(x, next, [&](long a, long b) { owned.push_back({sheet, Span{py, a, b}}); });
            owner = successor;
            x = next;
        }
    }
    // Sheet by sheet, so that each is read front to back; its palette
    // (through the curve) made once for all its spans. The spans sorted by
    // sheet keeping their order (by counting).
    std::vector<size_t> first(placed.size() + 1, 0);
    for (const auto& o : owned) first[o.first + 1]++;
    for (size_t i = 0; i < placed.size(); i++) first[i + 1] += first[i];
    std::vector<Span> spans(owned.size());
    {
        std::vector<size_t> at(first.begin(), first.end() - 1);
        for (const auto& o : owned) spans[at[o.first]++] = o.second;
    }
    PaletteRow palette;
    for (size_t i = 0; i < placed.size(); i++) {
        const Placed& p = placed[i];
        const DecodedSheet& s = *p.sheet;
        if (first[i] == first[i + 1]) continue;
        if (s.indices) palette_row_make(&palette, s.colours, curve);
        for (size_t j = first[i]; j < first[i + 1]; j++) {
            const Span& span = spans[j];
            uint32_t* out = xrgb + span.row * stride + span.from;
            long n = span.to - span.from, at = (span.row - p.y0) * s.width + (span.from - p.x0);
            if (n <= 0) continue;
            if (s.indices) palette_row_expand(out, s.indices.get() + at, palette, n);
            else if (s.xrgb) copyXrgb(out, s.xrgb.get() + at, curve, n);
            else palette_row_rgb(out, s.pixels.get() + at * 3, curve, n);
        }
    }
    return hatched;
}
