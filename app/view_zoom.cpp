#include "app/view_zoom.h"

#include <algorithm>
#include <cmath>
#include <vector>

double view_zoom_fraction(int64_t startMs, int64_t nowMs) {
    double t = std::clamp(static_cast<double>(nowMs - startMs) / VIEW_ZOOM_MS, 0.0, 1.0);
    return 1 - (1 - t) * (1 - t);
}

namespace {

bool zoomOfEachOther(const ViewRecord& from, const ViewRecord& to) {
    return from.plane == to.plane && from.width == to.width && from.height == to.height && from.mpp > 0 &&
           to.mpp > 0 && std::fabs(from.mpp - to.mpp) > 1e-9 * to.mpp;
}

}  // namespace

int view_zoom_keeping(const ViewRecord& from, const ViewRecord& to, double x, double y, double t, ViewRecord* out) {
    if (!zoomOfEachOther(from, to)) return 0;
    // The kept point's offset from the centre in `to`, in unturned pixels:
    // the same offset at every scale puts it at the same screen pixel.
    double dx = (x - to.cx) / to.mpp, dy = (to.cy - y) / to.mpp;
    *out = to;
    out->mpp = from.mpp * std::pow(to.mpp / from.mpp, std::clamp(t, 0.0, 1.0));
    out->cx = x - dx * out->mpp;
    out->cy = y + dy * out->mpp;
    return 1;
}

int view_zoom_between(const ViewRecord& from, const ViewRecord& to, double t, ViewRecord* out) {
    if (!zoomOfEachOther(from, to)) return 0;
    // The fixed point's offset from the pane's centre, unturned pixels, and
    // the plane point there.
    double dx = (to.cx - from.cx) / (from.mpp - to.mpp), dy = (to.cy - from.cy) / (to.mpp - from.mpp);
    return view_zoom_keeping(from, to, from.cx + dx * from.mpp, from.cy - dy * from.mpp, t, out);
}

void view_zoom_picture(const uint32_t* src, const ViewRecord& from, uint32_t* dst, int stride, const ViewRecord& at,
                       uint32_t ground) {
    // A pixel of `at` to the pixel of `from` that showed the same place: one
    // affine map, found through three points (turns included).
    double x0, y0, px, py, ox, oy, xx, xy, yx, yy;
    view_screen_to_plane(at, 0, 0, &px, &py);
    view_plane_to_screen(from, px, py, &ox, &oy);
    view_screen_to_plane(at, 1, 0, &px, &py);
    view_plane_to_screen(from, px, py, &x0, &y0);
    xx = x0 - ox, xy = y0 - oy;                 // one step along a row of `at`
    view_screen_to_plane(at, 0, 1, &px, &py);
    view_plane_to_screen(from, px, py, &x0, &y0);
    yx = x0 - ox, yy = y0 - oy;                 // one step down a column
    auto sample = [&](double sx, double sy) {
        sx = std::floor(sx);
        sy = std::floor(sy);
        return sx >= 0 && sy >= 0 && sx < from.width && sy < from.height
                   ? src[static_cast<size_t>(sy) * from.width + static_cast<size_t>(sx)]
                   : ground;
    };
    if (std::fabs(xy) > 1e-9 || std::fabs(yx) > 1e-9) {
        // Turned against the picture (the course turned meanwhile).
        for (int y = 0; y < at.height; y++) {
            uint32_t* out = dst + static_cast<size_t>(y) * stride;
            double rx = ox + (y + 0.5) * yx + 0.5 * xx, ry = oy + (y + 0.5) * yy + 0.5 * xy;
            for (int x = 0; x < at.width; x++) out[x] = sample(rx + x * xx, ry + x * xy);
        }
        return;
    }
    // Scaled only: a column of `from` for each column of `at`, a row for each row.
    std::vector<int> column(static_cast<size_t>(std::max(0, at.width)));
    for (int x = 0; x < at.width; x++) {
        double sx = std::floor(ox + (x + 0.5) * xx);
        column[static_cast<size_t>(x)] = sx >= 0 && sx < from.width ? static_cast<int>(sx) : -1;
    }
    for (int y = 0; y < at.height; y++) {
        uint32_t* out = dst + static_cast<size_t>(y) * stride;
        double sy = std::floor(oy + (y + 0.5) * yy);
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
