// The pixels of a straight line on the screen, cut to a box first
// (Liang-Barsky), so that a line to a point far off the pane costs only its
// visible part and never walks millions of pixels.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdlib>

// Calls dot(x, y) for each pixel (Bresenham) of the part of (ax, ay)-(bx, by)
// inside [left, right] x [top, bottom]; nothing when no part lies inside.
template <class Dot>
void pixel_line(double ax, double ay, double bx, double by, double left, double top, double right, double bottom,
                Dot&& dot) {
    double t0 = 0, t1 = 1, dx = bx - ax, dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - left, right - ax, ay - top, bottom - ay};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0) return;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return;
    }
    int x0 = static_cast<int>(std::floor(ax + t0 * dx)), y0 = static_cast<int>(std::floor(ay + t0 * dy));
    int x1 = static_cast<int>(std::floor(ax + t1 * dx)), y1 = static_cast<int>(std::floor(ay + t1 * dy));
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int ex = std::abs(x1 - x0), ey = -std::abs(y1 - y0), err = ex + ey;
    for (;;) {
        dot(x0, y0);
        if (x0 == x1 && y0 == y1) break;
        int e2 = 2 * err;
        if (e2 >= ey) err += ey, x0 += sx;
        if (e2 <= ex) err += ex, y0 += sy;
    }
}
