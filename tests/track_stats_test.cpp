// The figures of a track on a small hand-made drive along the equator
// (where a geodesic's length is the radius times the angle): driving, a
// stop where the fix wanders, a noisy flat stretch and a climb; the same
// figures from kivtrack info.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "nav/track_stats.h"
#include "tracks/gpx_reader.h"
#include "settings_fixture.h"

namespace {

constexpr double kEquatorMetresPerDegree = 6378137.0 * M_PI / 180;

struct Row {
    int second;
    double lon, ele;
};
// 9 steps of 0.001 degrees (111 m) in 10 s each with the height wandering
// 2 m, a minute standing with the fix moving a metre, 5 steps in 20 s
// each climbing 50 m, half a step down 20 m.
const Row kDrive[] = {
    {0, 0.000, 100},   {10, 0.001, 102},  {20, 0.002, 99},   {30, 0.003, 101},  {40, 0.004, 100},
    {50, 0.005, 98},   {60, 0.006, 101},  {70, 0.007, 100},  {80, 0.008, 102},  {90, 0.009, 100},
    {100, 0.00901, 101}, {110, 0.009, 99}, {120, 0.00901, 100}, {130, 0.009, 101}, {140, 0.00901, 100},
    {150, 0.009, 100}, {170, 0.010, 110}, {190, 0.011, 121}, {210, 0.012, 129}, {230, 0.013, 141},
    {250, 0.014, 150}, {260, 0.0145, 130},
};

std::string driveGpx() {
    std::string text = "<gpx version=\"1.1\"><trk><trkseg>\n";
    for (const Row& r : kDrive) {
        char line[200];
        snprintf(line, sizeof line,
                 "<trkpt lat=\"0\" lon=\"%.5f\"><ele>%.0f</ele><time>2025-05-08T12:%02d:%02dZ</time></trkpt>\n", r.lon,
                 r.ele, r.second / 60, r.second % 60);
        text += line;
    }
    return text + "</trkseg></trk></gpx>\n";
}

class TrackStatsTest : public SettingsDir {};

}  // namespace

TEST_F(TrackStatsTest, FiguresOfADriveWithAStopAndANoisyClimb) {
    GpxData data;
    std::string text = driveGpx();
    ASSERT_EQ(1, gpx_read_text(text.data(), text.size(), &data));
    const double step = 0.001 * kEquatorMetresPerDegree, wander = 0.00001 * kEquatorMetresPerDegree;
    const double movingMetres = 14.5 * step;
    TrackStats s = track_stats(data);
    struct {
        const char* what;
        double got, want, within;
    } figures[] = {
        {"length", s.metres, movingMetres + 6 * wander, 1e-6},
        {"duration", s.seconds, 260, 0},
        {"moving", s.movingSeconds, 90 + 5 * 20 + 10, 0},
        {"average", s.averageMps, movingMetres / 200, 1e-9},
        {"top", s.topMps, step / 10, 1e-9},
        {"ascent", s.ascentMetres, 50, 0},
        {"descent", s.descentMetres, 20, 0},
    };
    for (const auto& f : figures) EXPECT_NEAR(f.got, f.want, f.within) << f.what;
}

TEST_F(TrackStatsTest, KivtrackInfoPrintsTheSameFigures) {
    put("drive.gpx", driveGpx());
    std::string out;
    FILE* p = popen(("'" KIV_BINARY_DIR "/tools/kivtrack/kivtrack' info drive.gpx"), "r");
    ASSERT_TRUE(p);
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    int rc = pclose(p);
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0);
    for (const char* line : {"length 1.621 km\n", "duration 260 s\n", "moving 200 s\n", "average speed 29.1 km/h\n",
                             "top speed 40.1 km/h\n", "ascent 50 m\n", "descent 20 m\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
}
