#include "app/north_indicator.h"

#include <algorithm>
#include <cmath>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "app/night_palette.h"
#include "app/tile_credit.h"
#include "app/view_pane.h"
#include "maps/view_north.h"
#include "maps/view_plane.h"

namespace {

constexpr int kRadius = 15;            // the disc's, pixels
constexpr int kMargin = 6;             // from the pane's edge
constexpr double kNeedle = 12, kHalfWidth = 4.5;

struct Colours {
    uint32_t disc, rim, north, south;
};
constexpr Colours kDay{0xFFFFFF, 0x404040, 0xD01010, 0x505050};
constexpr Colours kNight{NIGHT_READOUT_OUTLINE, NIGHT_READOUT_TEXT, NIGHT_READOUT_ALERT, 0x604820};

// Which side of the edge a-b the point lies on (the sign of the cross product).
double side(double ax, double ay, double bx, double by, double px, double py) {
    return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}

bool inTriangle(const double (&t)[3][2], double x, double y) {
    double a = side(t[0][0], t[0][1], t[1][0], t[1][1], x, y), b = side(t[1][0], t[1][1], t[2][0], t[2][1], x, y),
           c = side(t[2][0], t[2][1], t[0][0], t[0][1], x, y);
    return (a >= 0 && b >= 0 && c >= 0) || (a <= 0 && b <= 0 && c <= 0);
}

}  // namespace

void north_indicator_draw(const AppSettings* s, ClientFrame* f, int paneX, int paneY, int paneWidth, int night) {
    ViewRecord view;
    double angle;
    if (!view_pane_current(&view) || !view_north_angle(view, &angle) || paneWidth < 4 * kRadius) return;
    const Colours& c = night ? kNight : kDay;
    const double cx = paneX + paneWidth - kMargin - kRadius + 0.5;
    const double cy = paneY + tile_credit_height(s) + kMargin + kRadius + 0.5;
    // The needle: a thin diamond along the angle, its north half coloured.
    const double ux = std::sin(angle), uy = -std::cos(angle), px = -uy, py = ux;
    const double tip[2] = {cx + ux * kNeedle, cy + uy * kNeedle}, tail[2] = {cx - ux * kNeedle, cy - uy * kNeedle};
    const double left[2] = {cx + px * kHalfWidth, cy + py * kHalfWidth}, right[2] = {cx - px * kHalfWidth, cy - py * kHalfWidth};
    const double north[3][2] = {{tip[0], tip[1]}, {left[0], left[1]}, {right[0], right[1]}};
    const double south[3][2] = {{tail[0], tail[1]}, {left[0], left[1]}, {right[0], right[1]}};
    const int x0 = static_cast<int>(cx) - kRadius - 1, y0 = static_cast<int>(cy) - kRadius - 1;
    if (!f->px) return;
    frame_marked(f, x0, y0, x0 + 2 * kRadius + 3, y0 + 2 * kRadius + 3);
    // Drawn at every paint: its pixels written here, not a rectangle each.
    const uint32_t disc = frame_colour(f, c.disc), rim = frame_colour(f, c.rim), up = frame_colour(f, c.north),
                   down = frame_colour(f, c.south);
    const double outer = (kRadius + 0.5) * (kRadius + 0.5), inner = (kRadius - 1.0) * (kRadius - 1.0);
    for (int y = std::max(y0, 0); y <= y0 + 2 * kRadius + 2 && y < f->height; y++)
        for (int x = std::max(x0, 0); x <= x0 + 2 * kRadius + 2 && x < f->width; x++) {
            double mx = x + 0.5, my = y + 0.5, d2 = (mx - cx) * (mx - cx) + (my - cy) * (my - cy);
            if (d2 > outer) continue;
            f->px[static_cast<long>(y) * f->stride + x] = d2 > inner                 ? rim
                                                          : inTriangle(north, mx, my) ? up
                                                          : inTriangle(south, mx, my) ? down
                                                                                      : disc;
        }
}
