#include "app/road_route_marks.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"

namespace {

constexpr double kPlaneJump = 2e7;     // half the Web Mercator world: the 180th meridian

struct Point {
    double x, y;
};

// Pixels covered this paint: a pixel where two stretches meet is blended
// once, so the joins are no darker than the line.
struct Covered {
    std::vector<uint32_t> stamp;
    uint32_t paint = 0;
} covered;

// The route's points in the view's plane, kept while the route and the
// plane stay: projecting them is most of a paint's cost otherwise.
struct Placed {
    const RoadPoint* first = nullptr;  // which route: where its points are, their count and its totals
    size_t size = 0;
    double metres = 0, seconds = 0;
    int plane = 0;
    std::vector<Point> at;             // NaN where the plane cannot place a point
} placed;

const std::vector<Point>& planePoints(const RoadRoute& route, int plane) {
    if (placed.first == route.points.data() && placed.size == route.points.size() && placed.metres == route.metres &&
        placed.seconds == route.seconds && placed.plane == plane)
        return placed.at;
    placed.first = route.points.data(), placed.size = route.points.size(), placed.plane = plane;
    placed.metres = route.metres, placed.seconds = route.seconds;
    placed.at.clear();
    for (const RoadPoint& p : route.points) {
        Point q{NAN, NAN};
        if (!view_plane_from_degrees(plane, p.lat, p.lon, &q.x, &q.y)) q = {NAN, NAN};
        placed.at.push_back(q);
    }
    return placed.at;
}

// The x interval where a x + b y + c lies in [lo, hi] on row y; false when
// none. A row the constraint does not depend on is all in or all out.
bool band(double a, double b, double c, double y, double lo, double hi, double* x0, double* x1) {
    double k = b * y + c;
    if (std::fabs(a) < 1e-12) {
        if (k < lo || k > hi) return false;
        *x0 = -1e18, *x1 = 1e18;
        return true;
    }
    double p = (lo - k) / a, q = (hi - k) / a;
    *x0 = std::min(p, q), *x1 = std::max(p, q);
    return true;
}

// The stretch a-b as a capsule of radius r, row by row: on each row the
// pixels whose centres lie within r of the stretch (a convex shape, so one
// run a row: the union of the band along it and the discs at its ends).
void capsule(ClientFrame* f, int left, int top, int right, int bottom, Point a, Point b, double r) {
    double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
    int y0 = std::max(top, static_cast<int>(std::floor(std::min(a.y, b.y) - r)));
    int y1 = std::min(bottom - 1, static_cast<int>(std::ceil(std::max(a.y, b.y) + r)));
    double ux = length > 0 ? dx / length : 1, uy = length > 0 ? dy / length : 0;
    frame_marked(f, static_cast<int>(std::floor(std::max(std::min(a.x, b.x) - r, left - 1.0))) - 1, y0,
                 static_cast<int>(std::ceil(std::min(std::max(a.x, b.x) + r, right + 1.0))) + 2, y1 + 1);
    for (int y = y0; y <= y1; y++) {
        double cy = y + 0.5, lo = 1e18, hi = -1e18;
        for (Point c : {a, b}) {
            double h = r * r - (cy - c.y) * (cy - c.y);
            if (h >= 0) lo = std::min(lo, c.x - std::sqrt(h)), hi = std::max(hi, c.x + std::sqrt(h));
        }
        double p0, p1, q0, q1;
        // Across: |(p - a) x u| <= r; along: 0 <= (p - a) . u <= length.
        if (length > 0 && band(-uy, ux, uy * a.x - ux * a.y, cy, -r, r, &p0, &p1) &&
            band(ux, uy, -ux * a.x - uy * a.y, cy, 0, length, &q0, &q1) && std::max(p0, q0) <= std::min(p1, q1))
            lo = std::min(lo, std::max(p0, q0)), hi = std::max(hi, std::min(p1, q1));
        int x0 = std::max(left, static_cast<int>(std::ceil(lo - 0.5)));
        int x1 = std::min(right - 1, static_cast<int>(std::floor(hi - 0.5)));
        uint32_t* row = f->px + static_cast<long>(y) * f->stride;
        uint32_t* stamp = covered.stamp.data() + static_cast<long>(y) * f->width;
        for (int x = x0; x <= x1; x++) {
            if (stamp[x] == covered.paint) continue;
            stamp[x] = covered.paint;
            frame_blend(f, row + x, ROAD_ROUTE_RGB, ROAD_ROUTE_ALPHA);
        }
    }
}

}  // namespace

int road_route_marks_draw(ClientFrame* f, const RoadRoute& route, int paneX, int paneY, int sx, int sy, int width,
                          int height) {
    const MapView& v = map_view;
    const double spanX = v.extMaxX - v.extMinX, spanY = v.extMaxY - v.extMinY;
    if (route.points.size() < 2 || width <= 0 || height <= 0 || !(spanX > 0) || !(spanY > 0) || v.imageWidth <= 0)
        return 0;
    const int right = std::min(paneX + width, f->width), bottom = std::min(paneY + height, f->height);
    const size_t size = static_cast<size_t>(f->width) * static_cast<size_t>(f->height);
    if (covered.stamp.size() != size) covered.stamp.assign(size, 0), covered.paint = 0;
    if (++covered.paint == 0) std::fill(covered.stamp.begin(), covered.stamp.end(), 0), covered.paint = 1;
    const double r = app_px(ROAD_ROUTE_WIDTH) / 2.0, margin = r + 1;
    int drawn = 0;
    bool have = false;
    Point last{};
    double lastX = 0;
    for (const Point& q : planePoints(route, v.extPlane)) {
        const double x = q.x, y = q.y;
        double column = v.imageWidth * (x - v.extMinX) / spanX, row = v.imageHeight * (v.extMaxY - y) / spanY;
        map_view_turn(v, &column, &row);
        Point here{paneX + column - sx, paneY + row - sy};
        const bool placed = std::isfinite(here.x) && std::isfinite(here.y);
        if (placed && have && std::fabs(x - lastX) < kPlaneJump &&
            std::max(last.x, here.x) >= paneX - margin && std::min(last.x, here.x) <= right + margin &&
            std::max(last.y, here.y) >= paneY - margin && std::min(last.y, here.y) <= bottom + margin) {
            capsule(f, paneX, paneY, right, bottom, last, here, r);
            drawn = 1;
        }
        have = placed;
        last = here;
        lastX = x;
    }
    return drawn;
}
