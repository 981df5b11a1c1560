#include "maps/view_compose.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

// A sheet placed on the screen: columns [x0, x1), rows [y0, y1), centre.
struct Placed {
    long x0, y0, x1, y1;
    double ccx, ccy;
    const DecodedSheet* sheet;
};

constexpr int kHatchPeriod = 10;

// Diagonal lines fixed to the plane, so the hatching moves with the map.
void hatch(unsigned char* row, long from, long to, long phase) {
    long p = ((phase + from) % kHatchPeriod + kHatchPeriod) % kHatchPeriod;
    for (long x = from; x < to; x++, p = p + 1 == kHatchPeriod ? 0 : p + 1)
        memset(row + x * 3, p == 0 ? VIEW_HATCH_LINE : VIEW_HATCH_GROUND, 3);
}

double distance2(const Placed& p, double x, double y) {
    double dx = x - p.ccx, dy = y - p.ccy;
    return dx * dx + dy * dy;
}

// The first column after x where the owner's span ends: its own right
// edge, a sheet that starts, or one to its right that becomes nearer.
long spanEnd(const std::vector<const Placed*>& row, const Placed* owner, long x, double yc, long width) {
    long end = std::min(width, owner->x1);
    double dyo = (yc - owner->ccy) * (yc - owner->ccy);
    for (const Placed* k : row) {
        if (k == owner || k->x1 <= x) continue;
        if (k->x0 > x) {
            end = std::min(end, k->x0);
        } else if (k->ccx > owner->ccx) {
            // Nearer than the owner for screen x beyond the bisector at 'at'.
            double dyk = (yc - k->ccy) * (yc - k->ccy);
            double at = (k->ccx * k->ccx - owner->ccx * owner->ccx + dyk - dyo) / (2 * (k->ccx - owner->ccx));
            double first = std::floor(at - 0.5) + 1;
            if (first < end) end = std::max(x + 1, static_cast<long>(first));
        }
    }
    return end;
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

long view_compose(const ViewRecord& view, const ViewImages& images, unsigned char* rgb) {
    const long width = view.width, height = view.height;
    double left, top;
    view_screen_to_plane(view, 0, 0, &left, &top);
    std::vector<Placed> placed;
    for (const auto& image : images) {
        const SheetExtent& e = image->extent;
        double sx = std::round((e.minX - left) / view.mpp), sy = std::round((top - e.maxY) / view.mpp);
        if (!(sx < width && sx + image->width > 0 && sy < height && sy + image->height > 0)) continue;
        long x0 = static_cast<long>(sx), y0 = static_cast<long>(sy);
        placed.push_back({x0, y0, x0 + image->width, y0 + image->height, x0 + image->width / 2.0,
                          y0 + image->height / 2.0, image.get()});
    }
    long hatchPhase = std::lround(std::floor(left / view.mpp) - std::floor(top / view.mpp));
    long hatched = 0;
    std::vector<const Placed*> row;
    for (long py = 0; py < height; py++) {
        unsigned char* out = rgb + py * width * 3;
        row.clear();
        for (const Placed& p : placed)
            if (p.y0 <= py && py < p.y1) row.push_back(&p);
        double yc = py + 0.5;
        for (long x = 0; x < width;) {
            const Placed* owner = nullptr;
            double best = 0;
            long next = width;
            for (const Placed* k : row) {
                if (k->x0 > x) next = std::min(next, k->x0);
                if (k->x0 > x || k->x1 <= x) continue;
                double d = distance2(*k, x + 0.5, yc);
                if (!owner || d < best) owner = k, best = d;
            }
            if (!owner) {
                hatch(out, x, next, hatchPhase + py);
                hatched += next - x;
                x = next;
                continue;
            }
            next = spanEnd(row, owner, x, yc, width);
            const DecodedSheet& s = *owner->sheet;
            const unsigned char* src = s.pixels.get() + ((py - owner->y0) * s.width + (x - owner->x0)) * 3;
            memcpy(out + x * 3, src, static_cast<size_t>(next - x) * 3);
            x = next;
        }
    }
    return hatched;
}
