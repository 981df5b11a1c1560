// Where Auto Pan puts the view's centre (headless, pure).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "maps/lcc.h"
#include "maps/view_follow.h"
#include "maps/view_plane.h"

namespace {

constexpr double kW = 1920 * 5.0, kH = 1080 * 5.0;  // pane in plane metres

// A minute of fixes, one a second, at a course and speed; the centre's offset from the vehicle in panes.
void drive(FollowState* st, int mode, double courseDeg, double speed, double* ox, double* oy) {
    double c = courseDeg * M_PI / 180, cx = 0, cy = 0;
    for (int t = 0; t < 60; t++) view_follow_step(st, mode, t, 0, std::sin(c), std::cos(c), speed, kW, kH, 1, &cx, &cy);
    *ox = (cx - 59) / kW, *oy = cy / kH;
}

TEST(ViewFollow, SettlesWhereTheModeSaysAndSlowNoisyCoursesDoNotSwingIt) {
    const double s = std::sqrt(0.5) / 6;
    struct { int mode; double course, speed, wantX, wantY; } cases[] = {
        {FOLLOW_LOOK_AHEAD, 90, 0, 0, 0}, {FOLLOW_LOOK_AHEAD, 90, 14, 1.0 / 6, 0},
        {FOLLOW_LOOK_AHEAD, 315, 14, -s, s}, {FOLLOW_CENTRED, 315, 14, 0, 0}};
    for (const auto& d : cases) {
        FollowState st{};
        double ox, oy;
        drive(&st, d.mode, d.course, d.speed, &ox, &oy);
        EXPECT_LT(std::hypot(ox - d.wantX, oy - d.wantY), 0.005) << d.course << " " << d.speed;
    }
    FollowState st{};  // then looking east, stops
    double cx, cy;
    drive(&st, FOLLOW_LOOK_AHEAD, 90, 14, &cx, &cy);
    std::mt19937 rng(7);
    for (int t = 0; t < 600; t++) {  // stopped, then at walking pace, courses all round
        double c = (rng() % 360) * M_PI / 180;
        view_follow_step(&st, 1, 0, 0, std::sin(c), std::cos(c), t < 300 ? 0.4 : 1.0, kW, kH, 1, &cx, &cy);
        EXPECT_TRUE(t >= 300 || cx >= std::fabs(cy) * 10) << t;  // fades, still facing east
        EXPECT_TRUE(t < 300 || std::hypot(cx / kW, cy / kH) < 1.0 / 24) << t;
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

// Vancouver, 28 degrees west of the central meridian: north in the plane leans by the convergence.
TEST(ViewFollow, CourseNorthAtVancouverLeansByTheConvergence) {
    ViewRecord v;
    double ux, uy;
    ASSERT_TRUE(view_make(&v, 3, 0, 49.25, -123.1, 480, 360));
    ASSERT_TRUE(view_follow_course_direction(v, 49.25, -123.1, 0, &ux, &uy));
    EXPECT_NEAR(view_follow_screen_angle(ux, uy), lcc_map_grid().cone_n * (123.1 - 95.0), 0.05);
}

}  // namespace
