// A road route: the router's reply read, and the rule that says the
// vehicle left it, driven by a list of fixes.
#include <gtest/gtest.h>

#include <cmath>

#include "nav/road_following.h"
#include "nav/road_route.h"
#include "nav/road_route_gpx.h"
#include "tracks/gpx_reader.h"

namespace {

// Due east along 45 N from -75.70, a point every ~79 m (0.001 degree).
const char kReply[] =
    "394\t28\n"
    "45.000000\t-75.700000\t0.0\t0.0\t0\t90\tMain Street\tStart at Main Street\n"
    "45.000000\t-75.699000\t78.8\t5.6\t0\t90\tMain Street\t\n"
    "45.000000\t-75.698000\t157.6\t11.2\t0\t90\tMain Street\t\n"
    "45.000000\t-75.697000\t236.4\t16.8\t-90\t90\tWood Street\tTurn left onto Wood Street\n"
    "45.000000\t-75.696000\t315.2\t22.4\t0\t90\tWood Street\t\n"
    "45.000000\t-75.695000\t394.0\t28.0\t0\t90\t\tArrive\n";

TEST(RoadRoute, ReadsTheRoutersReplyOrSaysWhyNot) {
    RoadRoute route;
    std::string why;
    ASSERT_EQ(1, road_route_parse(kReply, &route, &why)) << why;
    EXPECT_DOUBLE_EQ(394, route.metres);
    ASSERT_EQ(6u, route.points.size());
    EXPECT_EQ(-90, route.points[3].turn);
    EXPECT_EQ("Wood Street", route.points[3].street);
    EXPECT_EQ("Turn left onto Wood Street", route.points[3].instruction);

    const struct {
        const char* reply;
        const char* why;
    } bad[] = {
        {"", "nothing"},
        {"394\t28\n45.0\t-75.7\t0\t0\t0\t90\tMain", "cut short"},
        {"far\t28\n", "distance and time"},
        {"394\t28\n45.0\t-75.7\t0\t0\t0\t90\tA\tB\n", "no line"},
        {"394\t28\n45.0\t-75.7\t0\t0\t0\t90\tA\tB\n95.0\t-75.7\t1\t1\t0\t90\tA\tB\n", "line 3"},
    };
    for (const auto& b : bad) {
        EXPECT_EQ(0, road_route_parse(b.reply, &route, &why)) << b.reply;
        EXPECT_NE(std::string::npos, why.find(b.why)) << why;
    }
}

// Fixes one a second: on the line, then 100 m north of it, or back along it.
TEST(RoadRoute, LeftAfterFiveSecondsOffTheLineOrGoingAgainstIt) {
    RoadRoute route;
    std::string why;
    ASSERT_EQ(1, road_route_parse(kReply, &route, &why));
    auto drive = [&](double northMetres, double course, int seconds) {
        std::vector<RoadFix> fixes;
        for (int t = 0; t <= seconds; t++)
            fixes.push_back(RoadFix{45.0 + northMetres / 111132.0, -75.6995 - 0.0001 * t, 10, course, 100 + t});
        return road_left(route, fixes, ROAD_OFF_METRES, ROAD_OFF_SECONDS);
    };
    const struct {
        double north, course;
        int seconds, left;
    } cases[] = {
        {0, 90, 8, 0},     // on it, going its way
        {30, 90, 8, 0},    // within 50 m
        {100, 90, 3, 0},   // off, but not for 5 s yet
        {100, 90, 6, 1},
        {0, 270, 6, 1},    // on it, against it
        {0, 270, 2, 0},
        {0, NAN, 8, 0},    // no course: not against
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.left, drive(c.north, c.course, c.seconds)) << c.north << " m north, " << c.course << " deg, "
                                                             << c.seconds << " s";
}

TEST(RoadRoute, NextManoeuvreAndWhatIsLeft) {
    RoadRoute route;
    std::string why;
    ASSERT_EQ(1, road_route_parse(kReply, &route, &why));
    RoadProgress p = road_progress(route, 45.0, -75.6985, 50);   // 118 m along
    EXPECT_EQ(3, p.next);
    EXPECT_NEAR(118, p.toNext, 2);
    EXPECT_NEAR(276, p.toEnd, 2);
    EXPECT_NEAR(19.6, p.secondsToEnd, 0.2);
    EXPECT_EQ(0, p.arrived);
    EXPECT_EQ(1, road_progress(route, 45.0, -75.6952, 50).arrived);
}

// Saved as GPX, read back as Follow Route and kivsheet fetch-route read it:
// the manoeuvres as a route named by their streets, the whole line as a track.
TEST(RoadRoute, SavedAsGpxReadsBackAsRouteAndTrack) {
    RoadRoute route;
    std::string why;
    ASSERT_EQ(1, road_route_parse(kReply, &route, &why));
    std::string path = testing::TempDir() + "road_route_test.gpx";
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    fputs(road_route_gpx(route, "Home & away").c_str(), f);
    fclose(f);
    GpxData data;
    ASSERT_EQ(1, gpx_read_file(path.c_str(), &data, &why)) << why;
    ASSERT_EQ(2u, data.lines.size());
    EXPECT_EQ(1, data.lines[0].route);
    EXPECT_EQ((std::vector<std::string>{"Main Street", "Wood Street", ""}), data.lines[0].names);
    EXPECT_EQ(0, data.lines[1].route);
    EXPECT_EQ(6u, data.lines[1].points.size());
    remove(path.c_str());
}

}  // namespace
