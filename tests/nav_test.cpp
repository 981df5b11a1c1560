// Geodesics against published values, and a route followed leg by leg.
#include <gtest/gtest.h>

#include <cmath>

#include "nav/geodesic.h"
#include "nav/navigation_state.h"

namespace {

struct Published {
    const char* what;
    double lat1, lon1, lat2, lon2;
    double metres, bearing, finalBearing;
    double tolerance;                  // metres
    // finalBearing NaN: not published (or none, at the pole)
};

// GeographicLib's documentation (JFK to LHR), Karney, "Algorithms for
// geodesics" (2013), worked examples: the nearly antipodal one, and the
// short one moved onto the 180th meridian; the WGS84 meridian quadrant.
const Published kInverse[] = {
    {"JFK to LHR", 40.6, -73.8, 51.6, -0.5, 5551759.400, 51.198882845, 107.821776735, 0.001},
    {"nearly antipodal", -30, 0, 29.9, 179.8, 19989832.828, 161.890524736, 18.090737246, 0.001},
    {"across 180", -30.12345, 179.99998, -30.12344, -179.99997, 4.944208, 77.043533542, NAN, 1e-6},
    {"equator to pole", 0, 10, 90, 10, 10001965.729, 0, NAN, 0.001},
};

TEST(Geodesic, InverseMatchesPublishedValues) {
    for (const Published& p : kInverse) {
        SCOPED_TRACE(p.what);
        GeodesicLine g = geodesic_inverse(p.lat1, p.lon1, p.lat2, p.lon2);
        EXPECT_NEAR(p.metres, g.metres, p.tolerance);
        EXPECT_NEAR(p.bearing, g.bearingDegrees, 1e-6);
        if (!std::isnan(p.finalBearing)) {
            EXPECT_NEAR(p.finalBearing, g.finalBearingDegrees, 1e-6);
        }
    }
}

TEST(Geodesic, DirectMatchesKarneysExample) {
    double lat, lon;
    geodesic_destination(40, 0, 30, 10e6, &lat, &lon);
    EXPECT_NEAR(41.79331020506, lat, 1e-9);
    EXPECT_NEAR(137.84490004377, lon, 1e-9);
    // Over the pole: 200 km north from 89 N comes down the far meridian.
    geodesic_destination(89, 10, 0, 200000, &lat, &lon);
    EXPECT_NEAR(-170, lon, 1e-9);
    EXPECT_LT(lat, 89.3);
}

TEST(NavigationState, RouteLegsAdvanceOnArrival) {
    // East along the equator, about 1.1 km a leg.
    NavState s;
    s.points = {{0, 0, "A"}, {0, 0.01, "B"}, {0, 0.02, ""}};
    struct Step {
        double lat, lon;
        int reachedNow, leg, arrived;
        double crossTrack;             // NaN: not on a leg
    };
    const Step drive[] = {
        {0.0001, 0, 1, 1, 0, NAN},          // at A: on at once to B
        {-0.0009, 0.005, 0, 1, 0, 99.5},    // halfway, 99.5 m south: right of an eastward leg
        {0.0002, 0.0098, 1, 2, 0, NAN},     // at B
        {0, 0.015, 0, 2, 0, 0},
        {0, 0.0199, 1, 2, 1, NAN},          // at the last, unnamed point
        {0, 0.0199, 0, 2, 1, NAN},          // said once
    };
    for (const Step& d : drive) {
        SCOPED_TRACE(d.lon);
        NavReading r = nav_step(&s, NavFix{d.lat, d.lon, 10, 90}, 0, NAV_ARRIVAL_METRES);
        EXPECT_EQ(d.reachedNow, r.reachedNow);
        EXPECT_EQ(d.leg, s.leg);
        EXPECT_EQ(d.arrived, r.arrived);
        if (!std::isnan(d.crossTrack)) {
            EXPECT_NEAR(d.crossTrack, r.crossTrack, 1.0);
        }
    }
}

}  // namespace
