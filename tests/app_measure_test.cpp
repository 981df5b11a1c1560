// The ruler and the track statistics' plot on the headless window: points
// clicked on the map, measured as the view read them, and a point picked on
// the plot marked on the map.
#include "app/ruler.h"
#include "app/track_stats_dialog.h"
#include "app_test_support.h"
#include "nav/geodesic.h"
#include "settings/menu_ids.h"

namespace {

constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0);   // default start sheet at level 2

class AppMeasureTest : public AppTest {
protected:
    void create() {
        writeFile("kiv_com.txt", "COM0\nSmall\n");
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\nDash=K\n");
        ASSERT_EQ(1, app_create());
        app_paint();
    }
    static ViewRecord view() {
        ViewRecord r{};
        EXPECT_EQ(1, view_pane_current(&r));
        return r;
    }
    static void click(int x, int y) {
        app_mouse_down(APP_BUTTON_LEFT, x, y, 0);
        app_mouse_up(APP_BUTTON_LEFT, x, y);
        app_paint();
    }
    // The length (metres) and bearing a segment's text says.
    static void readSegment(size_t i, double* metres, int* bearing) {
        char text[64], unit[8] = "";
        ruler_segment_text(i, text, sizeof text);
        ASSERT_EQ(3, sscanf(text, "%lf %7s %d", metres, unit, bearing)) << text;
        if (std::string(unit) == "km") *metres *= 1000;
    }
};

}  // namespace

TEST_F(AppMeasureTest, ClickedPointsAreMeasuredAndBackspaceTakesTheLastOff) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    app_key_down(APP_KEY_MEASURE, 0);
    EXPECT_EQ(1, headless_menu_checked(MENU_MEASURE));
    ViewRecord before = view();
    const int clicks[][2] = {{100, 100}, {380, 120}, {300, 330}};
    GeodesicLine want[2];
    double lat[3], lon[3];
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(1, view_screen_to_degrees(before, clicks[i][0] - kPaneX + 0.5, clicks[i][1] - kPaneY + 0.5, &lat[i],
                                            &lon[i]));
        click(clicks[i][0], clicks[i][1]);
        if (i) want[i - 1] = geodesic_inverse(lat[i - 1], lon[i - 1], lat[i], lon[i]);
    }
    EXPECT_EQ(before.level, view().level);   // clicks did not zoom
    ASSERT_EQ(3u, app_ruler.points.size());
    for (size_t i = 1; i < 3; i++) {
        double metres;
        int bearing;
        readSegment(i, &metres, &bearing);
        EXPECT_NEAR(want[i - 1].metres, metres, want[i - 1].metres * 0.005) << i;   // as written: 3 figures
        EXPECT_NEAR(want[i - 1].bearingDegrees, bearing, 0.51) << i;
    }
    // The line stays on its points as the view moves: the first point's
    // mark where the moved view draws it.
    app_key_down(APP_KEY_LEFT, 0);
    app_paint();
    int px, py;
    ASSERT_EQ(1, view_position_pixel(view(), lat[0], lon[0], &px, &py));
    EXPECT_EQ(0x000000, panePixel(px, py));
    app_key_down(APP_KEY_BACKSPACE, 0);
    char total[64], first[64];
    ruler_total_text(total, sizeof total);
    ruler_segment_text(1, first, sizeof first);
    EXPECT_EQ(2u, app_ruler.points.size());
    EXPECT_EQ("Total " + std::string(first).substr(0, std::string(first).rfind(' ')), total);
    app_key_down(APP_KEY_ESCAPE, 0);
    EXPECT_EQ(0, app_ruler.on);
    EXPECT_TRUE(app_ruler.points.empty());
    EXPECT_EQ(0, headless_menu_checked(MENU_MEASURE));
}

TEST_F(AppMeasureTest, APointPickedOnTheTrackPlotIsMarkedOnTheMap) {
    addSheet(kLat, kLon, 2, 0, 40);
    writeFile("drive.gpx", "<gpx><trk><trkseg><trkpt lat=\"45.5\" lon=\"-75.7\"><ele>60</ele></trkpt>"
                           "<trkpt lat=\"45.5\" lon=\"-75.68\"><ele>70</ele></trkpt>"
                           "<trkpt lat=\"45.51\" lon=\"-75.66\"><ele>80</ele></trkpt></trkseg></trk></gpx>");
    create();
    headless_set_open_file((dir / "drive.gpx").string());
    app_command(MENU_OPEN_TRACK);
    static double length;
    headless_set_dialog_hook([](int kind, void* state) {
        if (kind != PLATFORM_DIALOG_TRACK_STATS) return 0;
        auto* d = static_cast<TrackStatsDialog*>(state);
        EXPECT_EQ("drive.gpx", d->sources.at(static_cast<size_t>(d->chosen)));
        length = d->profile.back().metres;
        d->pick(d, d->profile[1].metres + 1);   // next to the middle point
        return 1;
    });
    app_command(MENU_TRACK_STATS);
    headless_set_dialog_hook(nullptr);
    EXPECT_NEAR(geodesic_inverse(45.5, -75.7, 45.5, -75.68).metres +
                    geodesic_inverse(45.5, -75.68, 45.51, -75.66).metres,
                length, 1e-6);
    ASSERT_EQ(1, app_track_mark.shown);
    EXPECT_DOUBLE_EQ(-75.68, app_track_mark.lon);
    app_paint();
    int px, py;
    ASSERT_EQ(1, view_position_pixel(view(), 45.5, -75.68, &px, &py));
    EXPECT_EQ(0x000000, panePixel(px + 5, py));   // the ring round it
}
