#include "app/go_to_marks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "app/pixel_line.h"
#include "app/go_to.h"
#include "app/night_palette.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "nav/geodesic.h"
#include "nav/navigation_text.h"
#include "platform/platform.h"
#include "position/gps_fix.h"

namespace {

constexpr uint32_t kLeg = 0x007070, kLine = 0x000000, kHalo = 0xFFFFFF;
constexpr double kSampleMetres = 20000;    // a long line follows the geodesic in steps this long
constexpr int kMaxSamples = 64;
constexpr double kPlaneJump = 2e7;         // half the Web Mercator world: the 180th meridian
constexpr int kLabelHeight = 14;
constexpr int kArrowInset = 20;

// The pane's part of the frame, and where the display picture sits in it.
struct Pane {
    ClientFrame* f;
    int x, y, sx, sy, width, height;
};

struct Point {
    double x, y;
};

// A position to a frame pixel (continuous) through the held extents, and
// its plane x to tell a jump across the 180th meridian.
bool framePoint(const Pane& p, double lat, double lon, Point* out, double* planeX) {
    const MapView& v = map_view;
    double x, y, spanX = v.extMaxX - v.extMinX, spanY = v.extMaxY - v.extMinY;
    if (!(spanX > 0) || !(spanY > 0) || !view_plane_from_degrees(v.extPlane, lat, lon, &x, &y)) return false;
    double column = v.imageWidth * (x - v.extMinX) / spanX, row = v.imageHeight * (v.extMaxY - y) / spanY;
    map_view_turn(v, &column, &row);
    out->x = p.x + column - p.sx;
    out->y = p.y + row - p.sy;
    *planeX = x;
    return std::isfinite(out->x) && std::isfinite(out->y);
}

struct Pen {
    const Pane* pane;
    int size, offset;                  // square of size pixels from offset
    uint32_t rgb;
    int dash;                          // 0 solid, else the length of dashes and gaps
    int step = 0;                      // pixels walked, for the dashes
    Point clear{-1e9, -1e9};           // nothing drawn within kClear of it (the vehicle)
    void dot(int x, int y) {
        if (dash && (step++ / dash) % 2) return;
        double cx = x - clear.x, cy = y - clear.y;
        if (cx * cx + cy * cy < 14 * 14) return;
        const Pane& p = *pane;
        const uint32_t pixel = frame_colour(p.f, rgb);
        for (int dy = 0; dy < size; dy++)
            for (int dx = 0; dx < size; dx++) {
                int px = x + dx + offset, py = y + dy + offset;
                if (px < p.x || py < p.y || px >= p.x + p.width || py >= p.y + p.height) continue;
                p.f->px[static_cast<long>(py) * p.f->stride + px] = pixel;
            }
    }
};

// The pixels of the part of a-b inside the pane and a margin.
void segment(Pen& pen, Point a, Point b) {
    const Pane& p = *pen.pane;
    frame_marked(p.f, static_cast<int>(std::floor(std::max(std::min(a.x, b.x), p.x - 4.0))) + pen.offset - 1,
                 static_cast<int>(std::floor(std::max(std::min(a.y, b.y), p.y - 4.0))) + pen.offset - 1,
                 static_cast<int>(std::ceil(std::min(std::max(a.x, b.x), p.x + p.width + 4.0))) + pen.offset + pen.size + 1,
                 static_cast<int>(std::ceil(std::min(std::max(a.y, b.y), p.y + p.height + 4.0))) + pen.offset + pen.size + 1);
    pixel_line(a.x, a.y, b.x, b.y, p.x - 3, p.y - 3, p.x + p.width + 3, p.y + p.height + 3,
               [&](int x, int y) { pen.dot(x, y); });
}

// The geodesic from a to b in steps, each a straight piece on screen;
// broken where the plane cannot place a point or jumps the 180th meridian.
void geodesic(Pen& pen, double lat1, double lon1, double lat2, double lon2) {
    GeodesicLine line = geodesic_inverse(lat1, lon1, lat2, lon2);
    int n = std::clamp(static_cast<int>(std::ceil(line.metres / kSampleMetres)), 1, kMaxSamples);
    Point last{};
    double lastX = 0;
    bool have = false;
    for (int i = 0; i <= n; i++) {
        double lat = lat2, lon = lon2;
        if (i == 0) lat = lat1, lon = lon1;
        else if (i < n) geodesic_destination(lat1, lon1, line.bearingDegrees, line.metres * i / n, &lat, &lon);
        Point here;
        double planeX;
        bool placed = framePoint(*pen.pane, lat, lon, &here, &planeX);
        if (placed && have && std::fabs(planeX - lastX) < kPlaneJump) segment(pen, last, here);
        have = placed;
        last = here;
        lastX = planeX;
    }
}

// A line with a white edge: the edge all along first, then the core.
void outlined(const Pane& pane, uint32_t rgb, int dash, Point clear, double lat1, double lon1, double lat2,
              double lon2) {
    // As wide as the screen's scale makes them.
    Pen halo{&pane, app_px(4), -app_px(1), kHalo, dash};
    Pen core{&pane, app_px(2), 0, rgb, dash};
    halo.clear = core.clear = clear;
    geodesic(halo, lat1, lon1, lat2, lon2);
    geodesic(core, lat1, lon1, lat2, lon2);
}

void ring(const Pane& p, Point c) {
    const int cx = static_cast<int>(std::floor(c.x)), cy = static_cast<int>(std::floor(c.y));
    frame_marked(p.f, cx - 9, cy - 9, cx + 10, cy + 10);
    for (int dy = -9; dy <= 9; dy++)
        for (int dx = -9; dx <= 9; dx++) {
            double d = std::hypot(dx + 0.5, dy + 0.5);
            if (d < 5 || d > 9) continue;
            int x = static_cast<int>(std::floor(c.x)) + dx, y = static_cast<int>(std::floor(c.y)) + dy;
            if (x < p.x || y < p.y || x >= p.x + p.width || y >= p.y + p.height) continue;
            p.f->px[static_cast<long>(y) * p.f->stride + x] = frame_colour(p.f, d >= 6 && d <= 8 ? kLine : kHalo);
        }
}

bool inside(const Pane& p, Point a) { return a.x >= p.x && a.y >= p.y && a.x < p.x + p.width && a.y < p.y + p.height; }

// A filled triangle pointing along (ux, uy) from its middle at c, in a white edge.
void arrow(const Pane& p, Point c, double ux, double uy) {
    for (int pass = 0; pass < 2; pass++) {
        double grow = pass ? 0 : 2.5;
        Point tip{c.x + ux * (11 + grow), c.y + uy * (11 + grow)};
        Point l{c.x - ux * (7 + grow) - uy * (9 + grow), c.y - uy * (7 + grow) + ux * (9 + grow)};
        Point r{c.x - ux * (7 + grow) + uy * (9 + grow), c.y - uy * (7 + grow) - ux * (9 + grow)};
        auto side = [](Point a, Point b, double x, double y) { return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x); };
        int x0 = static_cast<int>(std::floor(std::min({tip.x, l.x, r.x}))), x1 = static_cast<int>(std::ceil(std::max({tip.x, l.x, r.x})));
        int y0 = static_cast<int>(std::floor(std::min({tip.y, l.y, r.y}))), y1 = static_cast<int>(std::ceil(std::max({tip.y, l.y, r.y})));
        frame_marked(p.f, x0, y0, x1 + 1, y1 + 1);
        for (int y = std::max(y0, p.y); y <= y1 && y < p.y + p.height; y++)
            for (int x = std::max(x0, p.x); x <= x1 && x < p.x + p.width; x++) {
                double a = side(tip, l, x + 0.5, y + 0.5), b = side(l, r, x + 0.5, y + 0.5), d = side(r, tip, x + 0.5, y + 0.5);
                if ((a >= 0 && b >= 0 && d >= 0) || (a <= 0 && b <= 0 && d <= 0))
                    p.f->px[static_cast<long>(y) * p.f->stride + x] = frame_colour(p.f, pass ? kLine : kHalo);
            }
    }
}

// The arrow at the pane's edge towards `to` (or along the bearing when the
// plane cannot place it), its distance as the label.
void edgeArrow(const Pane& p, const NavReading& r, const NavPoint& to, bool placed, Point at, int imperial,
               GoToLabel* label) {
    Point c{p.x + p.width / 2.0, p.y + p.height / 2.0};
    double ux = at.x - c.x, uy = at.y - c.y;
    if (!placed && !r.active) return;
    if (!placed) ux = std::sin(r.bearing * M_PI / 180), uy = -std::cos(r.bearing * M_PI / 180);
    double length = std::hypot(ux, uy);
    if (!(length > 0)) return;
    ux /= length, uy /= length;
    double halfW = p.width / 2.0 - kArrowInset, halfH = p.height / 2.0 - kArrowInset;
    if (halfW <= 0 || halfH <= 0) return;
    double t = std::min(ux ? halfW / std::fabs(ux) : 1e9, uy ? halfH / std::fabs(uy) : 1e9);
    Point tip{c.x + ux * t, c.y + uy * t};
    arrow(p, tip, ux, uy);
    double metres = r.active ? r.metres : NAN;
    if (!r.active) {
        // No fix: from the middle of the pane.
        const MapView& v = map_view;
        double lat, lon;
        if (view_plane_to_degrees(v.extPlane, (v.extMinX + v.extMaxX) / 2, (v.extMinY + v.extMaxY) / 2, &lat, &lon))
            metres = geodesic_inverse(lat, lon, to.lat, to.lon).metres;
    }
    if (!std::isfinite(metres)) return;
    nav_format_distance(label->text, sizeof label->text, metres, imperial);
    int w = static_cast<int>(strlen(label->text)) * 8;
    label->x = std::clamp(static_cast<int>(tip.x - ux * 30) - w / 2, p.x + 2, std::max(p.x + 2, p.x + p.width - w - 2));
    label->y = std::clamp(static_cast<int>(tip.y - uy * 26) - app_px(kLabelHeight) / 2, p.y + 2,
                          std::max(p.y + 2, p.y + p.height - app_px(kLabelHeight) - 2));
    label->shown = 1;
}

}  // namespace

void go_to_marks_draw(ClientFrame* f, const NavReading& reading, int paneX, int paneY, int sx, int sy, int width,
                      int height, int imperial, GoToLabel* label) {
    *label = GoToLabel{};
    const NavState& state = go_to_state();
    if (state.points.empty() || width <= 0 || height <= 0) return;
    const Pane pane{f, paneX, paneY, sx, sy, std::min(width, f->width - paneX), std::min(height, f->height - paneY)};
    // The legs in one pass, three pixels wide: a long route stays cheap.
    Pen legs{&pane, 3, -1, kLeg, 0};
    for (size_t i = 1; i < state.points.size(); i++) {
        const NavPoint &a = state.points[i - 1], &b = state.points[i];
        geodesic(legs, a.lat, a.lon, b.lat, b.lon);
    }
    const NavPoint& to = state.points[static_cast<size_t>(std::clamp(state.leg, 0, static_cast<int>(state.points.size()) - 1))];
    Point at{}, vehicle{};
    double planeX;
    bool placed = framePoint(pane, to.lat, to.lon, &at, &planeX);
    if (reading.active && !reading.arrived && gps_has_position() &&
        framePoint(pane, gps_latitude(), gps_longitude(), &vehicle, &planeX))
        outlined(pane, kLine, 8, vehicle, gps_latitude(), gps_longitude(), to.lat, to.lon);
    if (placed && inside(pane, at)) ring(pane, at);
    else edgeArrow(pane, reading, to, placed, at, imperial, label);
}

void go_to_marks_label(const GoToLabel& label, int night) {
    if (!label.shown) return;
    uint32_t halo = night ? NIGHT_READOUT_OUTLINE : RGB_WHITE, ink = night ? NIGHT_READOUT_TEXT : RGB_BLACK;
    for (int d = 0; d < 4; d++)
        platform_draw_text(label.x + (d == 0) - (d == 1), label.y + (d == 2) - (d == 3), label.text, app_px(kLabelHeight), 700,
                           halo);
    platform_draw_text(label.x, label.y, label.text, app_px(kLabelHeight), 700, ink);
}
