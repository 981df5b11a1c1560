#include "app/view_zoom.h"

#include <algorithm>
#include <cmath>
#include <vector>

double view_zoom_fraction(int64_t startMs, int64_t nowMs) {
    double t = std::clamp(static_cast<double>(nowMs - startMs) / VIEW_ZOOM_MS, 0.0, 1.0);
    return 1 - (1 - t) * (1 - t);
}

int view_zoom_between(const ViewRecord& from, const ViewRecord& to, double t, ViewRecord* out) {
    if (from.plane != to.plane || from.width != to.width || from.height != to.height || !(from.mpp > 0) ||
        !(to.mpp > 0) || std::fabs(from.mpp - to.mpp) <= 1e-9 * to.mpp)
        return 0;
    // The fixed point's offset from the pane's centre, in pixels, and the
    // plane point there.
    double dx = (to.cx - from.cx) / (from.mpp - to.mpp), dy = (to.cy - from.cy) / (to.mpp - from.mpp);
    double px = from.cx + dx * from.mpp, py = from.cy - dy * from.mpp;
    *out = to;
    out->mpp = from.mpp * std::pow(to.mpp / from.mpp, std::clamp(t, 0.0, 1.0));
    out->cx = px - dx * out->mpp;
    out->cy = py + dy * out->mpp;
    return 1;
}

void view_zoom_picture(const uint32_t* src, const ViewRecord& from, uint32_t* dst, int stride, const ViewRecord& at,
                       uint32_t ground) {
    const double f = at.mpp / from.mpp;
    // Screen x of `at` to screen x of `from`: one affine map an axis.
    const double ox = from.width / 2.0 + (at.cx - from.cx) / from.mpp - at.width / 2.0 * f;
    const double oy = from.height / 2.0 - (at.cy - from.cy) / from.mpp - at.height / 2.0 * f;
    std::vector<int> column(static_cast<size_t>(std::max(0, at.width)));
    for (int x = 0; x < at.width; x++) {
        double sx = std::floor(ox + (x + 0.5) * f);
        column[static_cast<size_t>(x)] = sx >= 0 && sx < from.width ? static_cast<int>(sx) : -1;
    }
    for (int y = 0; y < at.height; y++) {
        uint32_t* out = dst + static_cast<size_t>(y) * stride;
        double sy = std::floor(oy + (y + 0.5) * f);
        if (!(sy >= 0 && sy < from.height)) {
            std::fill(out, out + at.width, ground);
            continue;
        }
        const uint32_t* row = src + static_cast<size_t>(sy) * from.width;
        for (int x = 0; x < at.width; x++) {
            int c = column[static_cast<size_t>(x)];
            out[x] = c >= 0 ? row[c] : ground;
        }
    }
}
