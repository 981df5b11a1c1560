#include "maps/view_scale.h"

#include <algorithm>
#include <cmath>

#include "maps/view_plane.h"
#include "maps/zoom_levels.h"

namespace {

// Two scales this close are one: a level's own scale reached by notches
// carries the rounding of the powers of two.
constexpr double kSameScale = 1e-6;

}  // namespace

int view_scale_level(double mpp, int big) {
    for (int level = 0; level < ZOOM_FINEST; level++)
        if (view_level_mpp(level, big) <= mpp * VIEW_SCALE_MAX_ENLARGE * (1 + kSameScale)) return level;
    return ZOOM_FINEST;
}

double view_scale_clamp(double mpp, int big) {
    double finest = view_level_mpp(ZOOM_FINEST, big), coarsest = view_level_mpp(0, big);
    if (!(mpp > 0) || !std::isfinite(mpp)) return coarsest;
    return std::clamp(mpp, finest, coarsest);
}

double view_scale_step(double mpp, int steps, int big) {
    double next = view_scale_clamp(mpp * std::exp2(-static_cast<double>(steps) / VIEW_SCALE_NOTCHES), big);
    // A notch that ends within rounding of a level's own scale takes it
    // exactly, so that level's sheets are drawn unscaled.
    for (int level = 0; level <= ZOOM_FINEST; level++) {
        double own = view_level_mpp(level, big);
        if (std::fabs(next - own) <= own * 1e-3) return own;
    }
    return next;
}

double view_scale_next_level(double mpp, int steps, int big) {
    mpp = view_scale_clamp(mpp, big);
    if (steps > 0) {
        for (int level = 0; level <= ZOOM_FINEST; level++) {
            double own = view_level_mpp(level, big);
            if (own < mpp * (1 - kSameScale)) return own;
        }
    } else if (steps < 0) {
        for (int level = ZOOM_FINEST; level >= 0; level--) {
            double own = view_level_mpp(level, big);
            if (own > mpp * (1 + kSameScale)) return own;
        }
    }
    return mpp;
}
