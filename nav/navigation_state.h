// Where the vehicle is going: one destination, or a route followed point by
// point, and what a fix says about getting there (bearing, distance, speed
// made good, time to go, ETA, cross-track error on a leg, arrival). Pure:
// the window feeds it fixes and draws what it answers, and a list of fixes
// drives it the same way in a test.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum { NAV_ARRIVAL_METRES = 50 };      // the arrival radius unless kiv_ini.txt says otherwise

struct NavPoint {
    double lat, lon;                   // degrees, WGS84
    std::string name;                  // UTF-8, may be empty
};

struct NavState {
    std::vector<NavPoint> points;      // none: not navigating; one: a destination; more: a route
    int leg = 0;                       // the point steered to; the leg runs from the one before it
    int arrived = 0;                   // the last point was reached
};

struct NavFix {
    double lat, lon;
    double speed;                      // metres per second
    double course;                     // degrees from true north; NaN when unknown
};

struct NavReading {
    int active = 0;                    // 0: no destination (nothing else is set)
    std::string name;                  // of the point steered to
    int leg = 0, legs = 0;             // that point's index and the route's points (1: a destination)
    double bearing = 0;                // true, degrees, geodesic from the vehicle
    double metres = 0;                 // geodesic distance
    double madeGood = 0;               // speed towards the point, m/s (negative: away); NaN unknown
    double secondsToGo = 0;            // NaN while not closing on it
    int64_t eta = 0;                   // UTC seconds since 1970; 0 unknown
    int onLeg = 0;                     // a leg of a route: crossTrack holds
    double crossTrack = 0;             // metres off the leg, positive right of it
    int reachedNow = 0;                // a point was reached with this fix
    std::string reached;               // its name, or "point 3" for an unnamed one
    int arrived = 0;                   // the last point has been reached
};

// The reading of fix at nowUtc (seconds since 1970). A point nearer than
// arrivalMetres is reached: on a route the next point is taken (state->leg
// moves on), at the last point state->arrived is set. reachedNow is set
// once per point, so the caller beeps once.
NavReading nav_step(NavState* state, const NavFix& fix, int64_t nowUtc, double arrivalMetres);

// Metres from the geodesic from a to b to p, positive when p lies right of
// it looking from a to b.
double nav_cross_track(const NavPoint& a, const NavPoint& b, double lat, double lon);
