#include "nav/navigation_state.h"

#include <cmath>

#include "nav/geodesic.h"

namespace {

constexpr double kEarthRadius = 6371008.8;   // mean radius: the cross-track angle is spherical
constexpr double kClosing = 0.3;             // m/s towards the point before a time to go means anything
constexpr double kDegree = M_PI / 180;

void measure(const NavState& state, const NavFix& fix, int64_t now, NavReading* r) {
    const NavPoint& to = state.points[static_cast<size_t>(state.leg)];
    GeodesicLine line = geodesic_inverse(fix.lat, fix.lon, to.lat, to.lon);
    r->name = to.name;
    r->leg = state.leg;
    r->legs = static_cast<int>(state.points.size());
    r->bearing = line.bearingDegrees;
    r->metres = line.metres;
    r->madeGood = std::isfinite(fix.course) && std::isfinite(fix.speed)
                      ? fix.speed * std::cos((fix.course - line.bearingDegrees) * kDegree)
                      : NAN;
    r->secondsToGo = r->madeGood > kClosing ? line.metres / r->madeGood : NAN;
    r->eta = std::isfinite(r->secondsToGo) && r->secondsToGo < 1e8 ? now + std::llround(r->secondsToGo) : 0;
    r->onLeg = state.leg > 0;
    r->crossTrack = r->onLeg ? nav_cross_track(state.points[static_cast<size_t>(state.leg - 1)], to, fix.lat, fix.lon) : 0;
}

}  // namespace

double nav_cross_track(const NavPoint& a, const NavPoint& b, double lat, double lon) {
    GeodesicLine leg = geodesic_inverse(a.lat, a.lon, b.lat, b.lon);
    GeodesicLine there = geodesic_inverse(a.lat, a.lon, lat, lon);
    double angle = (there.bearingDegrees - leg.bearingDegrees) * kDegree;
    return std::asin(std::sin(there.metres / kEarthRadius) * std::sin(angle)) * kEarthRadius;
}

NavReading nav_step(NavState* state, const NavFix& fix, int64_t nowUtc, double arrivalMetres) {
    NavReading r;
    if (state->points.empty() || !std::isfinite(fix.lat) || !std::isfinite(fix.lon)) return r;
    const int last = static_cast<int>(state->points.size()) - 1;
    if (state->leg < 0 || state->leg > last) state->leg = 0;
    r.active = 1;
    measure(*state, fix, nowUtc, &r);
    // Points already inside the radius are passed at once: a route whose
    // first point is where the vehicle stands begins on its first leg.
    while (!state->arrived && r.metres <= arrivalMetres) {
        std::string reached = r.name.empty() ? "point " + std::to_string(state->leg + 1) : r.name;
        if (state->leg == last) state->arrived = 1;
        else state->leg++;
        measure(*state, fix, nowUtc, &r);
        r.reached = reached;
        r.reachedNow = 1;
    }
    r.arrived = state->arrived;
    return r;
}
