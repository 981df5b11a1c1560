#include "maps/view_follow.h"

#include <algorithm>
#include <cmath>

#include "maps/view_plane.h"
#include "settings/great_circle.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// Seconds for the direction to settle when moving, and for it to fade when
// the vehicle stops (slower, so a stop at a light does not recentre at once).
constexpr double kTurnSeconds = 3.0;
constexpr double kFadeSeconds = 20.0;
// Below this speed the direction turns slower, with the square of the
// speed: a course at walking pace wanders, at driving speed it is good.
constexpr double kTrustedSpeedMs = 20.0 / 3.6;
constexpr double kModeSeconds = 1.0;
constexpr double kEdgeFraction = 0.1;

double ease(double value, double target, double rate) { return value + (target - value) * rate; }

// Fraction of the way to the target after dt at the time constant.
double rate_of(double dt, double seconds) { return 1.0 - std::exp(-dt / seconds); }

}  // namespace

void view_follow_direction(double x, double y, double aheadX, double aheadY, double* ux, double* uy) {
    double dx = aheadX - x, dy = aheadY - y, len = std::hypot(dx, dy);
    if (!std::isfinite(len) || len <= 0) {
        *ux = *uy = 0;
        return;
    }
    *ux = dx / len, *uy = dy / len;
}

int view_follow_course_direction(const ViewRecord& view, double lat, double lon, double courseDegrees, double* ux,
                                 double* uy) {
    double lat2, lon2, x, y, x2, y2;
    great_circle_destination(lat, lon, courseDegrees, 50.0, &lat2, &lon2);
    *ux = *uy = 0;
    if (!view_degrees_to_screen(view, lat, lon, &x, &y) || !view_degrees_to_screen(view, lat2, lon2, &x2, &y2))
        return 0;
    // Screen pixels are square, so the screen's direction, y turned up, is the plane's.
    view_follow_direction(x, -y, x2, -y2, ux, uy);
    return *ux != 0 || *uy != 0;
}

double view_follow_screen_angle(double ux, double uy) {
    double a = std::atan2(ux, uy) * 180 / kPi;
    return a < 0 ? a + 360 : a;
}

void view_follow_step(FollowState* state, int mode, double vx, double vy, double ux, double uy, double speedMs,
                      double paneWidthM, double paneHeightM, double dtSeconds, double* cx, double* cy) {
    if (!std::isfinite(state->dx) || !std::isfinite(state->dy) || !std::isfinite(state->lead)) *state = FollowState{};
    double dt = std::isfinite(dtSeconds) ? std::clamp(dtSeconds, 0.0, 60.0) : 0.0;
    double len = std::hypot(ux, uy);
    bool moving = std::isfinite(speedMs) && speedMs >= VIEW_MOVING_SPEED_MS && std::isfinite(len) && len > 0.5;
    if (dt > 0) {
        if (moving) {
            double trust = std::min(1.0, speedMs / kTrustedSpeedMs);
            double r = rate_of(dt * trust * trust, kTurnSeconds);
            state->dx = ease(state->dx, ux / len, r), state->dy = ease(state->dy, uy / len, r);
        } else {
            double r = rate_of(dt, kFadeSeconds);
            state->dx = ease(state->dx, 0, r), state->dy = ease(state->dy, 0, r);
        }
        state->lead = ease(state->lead, mode == FOLLOW_LOOK_AHEAD ? 1.0 : 0.0, rate_of(dt, kModeSeconds));
    }
    double w = std::isfinite(paneWidthM) ? std::max(0.0, paneWidthM) : 0.0;
    double h = std::isfinite(paneHeightM) ? std::max(0.0, paneHeightM) : 0.0;
    double offX = state->lead * state->dx * w / 6, offY = state->lead * state->dy * h / 6;
    // The hard limit: the vehicle stays 10% inside every edge.
    double maxX = w * (0.5 - kEdgeFraction), maxY = h * (0.5 - kEdgeFraction);
    *cx = vx + std::clamp(offX, -maxX, maxX);
    *cy = vy + std::clamp(offY, -maxY, maxY);
}
