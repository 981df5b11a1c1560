// Where Auto Pan puts the view's centre (headless, pure).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "maps/lcc.h"
#include "maps/view_follow.h"
#include "settings/great_circle.h"

namespace {

constexpr double kW = 1920 * 5.0, kH = 1080 * 5.0;  // pane in plane metres

struct Drive {
    int mode;
    double courseDeg, speedMs;
    double wantX, wantY;  // centre offset from the vehicle after a minute, in panes
};

TEST(ViewFollow, SettlesWhereTheModeSays) {
    const double s = std::sqrt(0.5) / 6;
    const Drive cases[] = {
        {FOLLOW_LOOK_AHEAD, 90, 0, 0, 0},           // standing
        {FOLLOW_LOOK_AHEAD, 90, 14, 1.0 / 6, 0},    // east at 50 km/h
        {FOLLOW_LOOK_AHEAD, 315, 14, -s, s},        // north-west
        {FOLLOW_CENTRED, 315, 14, 0, 0},
    };
    for (const Drive& d : cases) {
        FollowState st{};
        double cx = 0, cy = 0, ux = std::sin(d.courseDeg * M_PI / 180), uy = std::cos(d.courseDeg * M_PI / 180);
        for (int t = 0; t < 60; t++) view_follow_step(&st, d.mode, 1000 + t, 2000, ux, uy, d.speedMs, kW, kH, 1, &cx, &cy);
        EXPECT_NEAR((cx - 1059) / kW, d.wantX, 0.005) << d.courseDeg << " " << d.speedMs;
        EXPECT_NEAR((cy - 2000) / kH, d.wantY, 0.005) << d.courseDeg << " " << d.speedMs;
    }
}

TEST(ViewFollow, NoisySlowCoursesDoNotSwingTheView) {
    FollowState st{};
    double cx, cy;
    for (int t = 0; t < 60; t++) view_follow_step(&st, FOLLOW_LOOK_AHEAD, 0, 0, 1, 0, 14, kW, kH, 1, &cx, &cy);
    std::mt19937 rng(7);
    for (int t = 0; t < 600; t++) {
        double c = (rng() % 360) * M_PI / 180, speed = t < 300 ? 0.4 : 1.0;  // stopped, then walking pace
        view_follow_step(&st, FOLLOW_LOOK_AHEAD, 0, 0, std::sin(c), std::cos(c), speed, kW, kH, 1, &cx, &cy);
        if (t < 300)
            EXPECT_GE(cx, std::fabs(cy) * 10) << t;  // only fades back, still facing east
        else
            EXPECT_LT(std::hypot(cx / kW, cy / kH), 1.0 / 24) << t;  // a quarter of the look-ahead at most
    }
}

TEST(ViewFollow, VehicleStaysTenPercentInsideOnARandomWalk) {
    std::mt19937 rng(3);
    FollowState st{};
    double vx = 0, vy = 0, cx, cy;
    for (int t = 0; t < 5000; t++) {
        double c = (rng() % 3600) * M_PI / 1800, w = 100 + rng() % 100000, h = 100 + rng() % 100000;
        double dt = t % 97 == 0 ? NAN : (rng() % 1000) / 100.0, speed = (rng() % 400) / 10.0;
        vx += std::sin(c) * speed, vy += std::cos(c) * speed;
        view_follow_step(&st, rng() % 3, vx, vy, std::sin(c), std::cos(c), speed, w, h, dt, &cx, &cy);
        ASSERT_LE(std::fabs(cx - vx), 0.4 * w + 1e-6) << t;
        ASSERT_LE(std::fabs(cy - vy), 0.4 * h + 1e-6) << t;
    }
}

TEST(ViewFollow, NorthInTheLambertPlaneFollowsTheMeridian) {
    // Vancouver, 28 degrees west of the central meridian: north leans by the convergence.
    double lat2, lon2, x, y, x2, y2, ux, uy;
    great_circle_destination(49.25, -123.1, 0, 100, &lat2, &lon2);
    ASSERT_TRUE(ll2lcc(&x, &y, 49.25, -123.1) && ll2lcc(&x2, &y2, lat2, lon2));
    view_follow_direction(x, y, x2, y2, &ux, &uy);
    double convergence = lcc_map_grid().cone_n * (-123.1 + 95.0);
    EXPECT_NEAR(view_follow_screen_angle(ux, uy), std::fmod(-convergence + 360, 360), 0.05);
}

}  // namespace
