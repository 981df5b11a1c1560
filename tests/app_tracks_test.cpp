// Tracks in the main window: the GPX recording of a drive, opened GPX
// tracks over the sheet, and a fix that has gone stale.
#include "app_test_support.h"
#include "app/gpx_recording.h"
#include "settings/gpx_reader.h"
#include "settings/menu_ids.h"

namespace {

constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0);

class AppTracksTest : public AppTest {
protected:
    TestSheet home;
    void create(const std::string& ini = "") {
        writeFile("kiv_com.txt", "COM0\nSmall\n");
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n" + ini);
        home = addSheet(kLat, kLon, 2, 0, 40);
        ASSERT_EQ(1, app_create());
    }
    void TearDown() override {
        AppTest::TearDown();
        gpx_recording_stop();
    }
    static std::vector<std::string> gpxFiles(const char* folder) {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(folder, ec)) out.push_back(e.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

}  // namespace

TEST_F(AppTracksTest, RecordingWritesEveryLoggedPointInSegmentsAndADayPerFile) {
    std::filesystem::create_directory("gpx");
    create("Gpx=gpx\n");
    setFix(45.54, -75.70, "2025/05/08 23:59:58", 20);
    app_paint();
    EXPECT_TRUE(gpxFiles("gpx").empty()) << "nothing is recorded while Track is off";
    settings()->track = 1;
    setFix(45.53, -75.69, "2025/05/08 23:59:59", 20);
    gps_set_altitude(80);
    app_paint();
    setFix(45.53, -75.69, "2025/05/08 23:59:59");   // same time, same pixel
    app_paint();
    gps_clear_fix_mode();                           // lost
    app_paint();
    setFix(45.52, -75.68, "2025/05/09 00:00:00");   // the next day
    app_paint();
    setFix(45.51, -75.67, "2025/05/09 00:00:01");
    app_paint();
    auto files = gpxFiles("gpx");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], "gpx/kiv-20250508-235959.gpx");
    GpxData first, second;
    ASSERT_TRUE(gpx_read_file(files[0].c_str(), &first));
    ASSERT_TRUE(gpx_read_file(files[1].c_str(), &second));
    ASSERT_EQ(gpx_point_count(first), 1u);
    const GpxPoint& p = first.lines[0].points[0];
    EXPECT_DOUBLE_EQ(p.ele, 80);
    EXPECT_EQ(p.fix, 3);
    EXPECT_NEAR(p.speed, 20 * 1.852 / 3.6, 0.01);
    EXPECT_EQ(second.lines.size(), 1u);
    EXPECT_EQ(gpx_point_count(second), 2u);
    // A reconnect starts a new segment in the same file.
    app_command(MENU_CONNECT);
    setFix(45.50, -75.66, "2025/05/09 00:00:02");
    app_paint();
    GpxData again;
    ASSERT_TRUE(gpx_read_file(files[1].c_str(), &again));
    EXPECT_EQ(again.lines.size(), 2u);
}
