#include "maps/view_north.h"

#include <cmath>

#include "maps/view_plane.h"

int view_north_angle(const ViewRecord& view, double* angle) {
    const double cx = view.width / 2.0, cy = view.height / 2.0;
    double lat, lon, px, py;
    if (!view_screen_to_degrees(view, cx, cy, &lat, &lon)) return 0;
    // A step of a hundredth of a degree: far below the scale at which the
    // convergence changes, far above the projection's rounding. Near the
    // pole the step goes south and the direction is turned round.
    const double step = lat < 89 ? 0.01 : -0.01;
    if (!view_degrees_to_screen(view, lat + step, lon, &px, &py)) return 0;
    double dx = px - cx, dy = py - cy;
    if (step < 0) dx = -dx, dy = -dy;
    if (!(dx * dx + dy * dy > 0)) return 0;
    *angle = std::atan2(dx, -dy);
    return 1;
}
