// True north on the screen and the turned (course-up) view: the north
// angle against PROJ's meridian convergence, the screen <-> plane rule at a
// turn, and the turned picture agreeing with that rule.
#include <gtest/gtest.h>
#include <proj.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "maps/view_north.h"
#include "maps/view_plane.h"
#include "maps/view_rotate.h"

namespace {

constexpr double kDeg = M_PI / 180;

ViewRecord viewAt(int plane, double lat, double lon, double rotation) {
    ViewRecord v{plane, 2, 0, 0, 0, 100, 800, 600, rotation};
    EXPECT_EQ(1, view_plane_from_degrees(plane, lat, lon, &v.cx, &v.cy));
    return v;
}

// The convergence PROJ gives the Canadian grid's plane at a place, degrees.
double convergence(double lat, double lon) {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* crs = proj_create(ctx, "EPSG:3978");
    PJ_FACTORS f = proj_factors(crs, proj_coord(lon * kDeg, lat * kDeg, 0, 0));
    proj_destroy(crs);
    proj_context_destroy(ctx);
    return f.meridian_convergence / kDeg;
}

}  // namespace

TEST(ViewNorth, TrueNorthAgainstTheConvergence) {
    const struct {
        int plane;
        double lat, lon, rotationDegrees;
    } cases[] = {
        {VIEW_PLANE_CANADA_LAMBERT, 45.42, -75.70, 0},    // Ottawa
        {VIEW_PLANE_CANADA_LAMBERT, 44.65, -63.57, 0},    // Halifax
        {VIEW_PLANE_CANADA_LAMBERT, 47.56, -52.71, 0},    // St. John's
        {VIEW_PLANE_CANADA_LAMBERT, 47.56, -52.71, 30},   // ... turned
        {VIEW_PLANE_WEB_MERCATOR, 47.56, -52.71, 0},
    };
    for (const auto& c : cases) {
        double angle = 0;
        ASSERT_EQ(1, view_north_angle(viewAt(c.plane, c.lat, c.lon, c.rotationDegrees * kDeg), &angle));
        double expected = (c.plane == VIEW_PLANE_WEB_MERCATOR ? 0 : -convergence(c.lat, c.lon)) + c.rotationDegrees;
        EXPECT_NEAR(angle / kDeg, expected, 0.01) << c.lat << " " << c.lon;
    }
}

TEST(ViewNorth, ScreenToPlaneAndBackAtATurn) {
    ViewRecord v = viewAt(VIEW_PLANE_CANADA_LAMBERT, 45.42, -75.70, 0.7);
    double x, y, px, py;
    view_screen_to_plane(v, 10.25, 530.5, &x, &y);
    view_plane_to_screen(v, x, y, &px, &py);
    EXPECT_NEAR(px, 10.25, 1e-9);
    EXPECT_NEAR(py, 530.5, 1e-9);
    // The plane's north, 100 pixels from the centre, turned clockwise by the turn.
    view_plane_to_screen(v, v.cx, v.cy + 100 * v.mpp, &px, &py);
    EXPECT_NEAR(px, 400 + 100 * std::sin(0.7), 1e-9);
    EXPECT_NEAR(py, 300 - 100 * std::cos(0.7), 1e-9);
}

// A mark in the axis-aligned picture lands in the turned pane where the
// screen rule puts its plane point.
TEST(ViewNorth, TurnedPictureFollowsTheScreenRule) {
    ViewRecord pane = viewAt(VIEW_PLANE_CANADA_LAMBERT, 45.42, -75.70, 2.2);
    ViewRecord cover = pane;
    cover.width = cover.height = view_rotate_cover(pane.width, pane.height);
    cover.rotation = 0;
    std::vector<uint32_t> src(static_cast<size_t>(cover.width) * cover.height, 0), dst(800 * 600, 0x123456);
    const int mx = cover.width / 2 + 150, my = cover.height / 2 - 220;
    for (int r = -2; r <= 2; r++)
        for (int c = -2; c <= 2; c++) src[static_cast<size_t>(my + r) * cover.width + mx + c] = 0xFFFFFF;
    view_rotate_xrgb(src.data(), cover.width, cover.height, cover.width, pane.rotation, dst.data(), 800, 600, 800);
    double x, y, px, py;
    view_screen_to_plane(cover, mx + 0.5, my + 0.5, &x, &y);
    view_plane_to_screen(pane, x, y, &px, &py);
    EXPECT_EQ(0xFFFFFFu, dst[static_cast<size_t>(py) * 800 + static_cast<size_t>(px)]);
    EXPECT_EQ(0u, dst[0]);   // every pane pixel comes from the picture
}

// Turned a band of rows at a time, reading only the columns each band is
// said to need, the pane comes out as turned at once.
TEST(ViewNorth, TurnedByBandsAsAtOnce) {
    const int w = 120, h = 70, side = view_rotate_cover(w, h), band = 16;
    std::vector<uint32_t> src(static_cast<size_t>(side) * side);
    for (size_t i = 0; i < src.size(); i++) src[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
    for (double angle : {0.0, 0.3, -0.785, 1.5708, 2.9, -2.2}) {
        std::vector<uint32_t> needed(src.size(), 0xABCDEF), whole(w * h, 1), banded(w * h, 2);
        for (int y0 = 0; y0 < side; y0 += band) {
            int x0, x1;
            if (!view_rotate_columns(w, h, side, angle, y0, y0 + band, &x0, &x1)) continue;
            for (int y = y0; y < std::min(side, y0 + band); y++)
                std::copy(src.begin() + y * side + x0, src.begin() + y * side + x1, needed.begin() + y * side + x0);
            view_rotate_rows(needed.data(), side, side, side, angle, banded.data(), w, h, w, y0, y0 + band);
        }
        view_rotate_xrgb(src.data(), side, side, side, angle, whole.data(), w, h, w);
        EXPECT_EQ(whole, banded) << "angle " << angle;
    }
}
