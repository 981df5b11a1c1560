#include "maps/view_turn.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The spring's rate: (1 + wt) e^-wt falls below 2% at wt = 5.8, half a second.
constexpr double kOmega = 11.6;

double wrapped(double a) {
    a = std::remainder(a, 2 * kPi);
    return a;
}

}  // namespace

void view_turn_aim(ViewTurn* turn, double courseScreen, int known, double speedMs) {
    if (!known || !std::isfinite(courseScreen) || !(speedMs >= VIEW_TURN_SPEED_MS)) return;
    turn->target = wrapped(-courseScreen);
}

int view_turn_step(ViewTurn* turn, double dt) {
    // The exact step of a critically damped spring, so a late frame
    // neither overshoots nor jumps.
    double e = wrapped(turn->angle - turn->target), r = turn->rate;
    if (dt > 0) {
        double decay = std::exp(-kOmega * dt), k = r + kOmega * e;
        e = (e + k * dt) * decay;
        r = (r - kOmega * k * dt) * decay;
    }
    if (std::fabs(e) < 1e-3 && std::fabs(r) < 1e-2) {
        turn->angle = wrapped(turn->target);
        turn->rate = 0;
        return 0;
    }
    turn->angle = wrapped(turn->target + e);
    turn->rate = r;
    return 1;
}
