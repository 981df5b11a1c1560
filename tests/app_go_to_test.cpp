// Go To through the window: NMEA fixes from a receiver on a pty drive the
// navigation strip to a destination, with its arrival; the destination is
// kept for the next run.
#include "app/go_to.h"
#include "app/track_overlay.h"
#include "app_test_support.h"
#include "settings/menu_ids.h"

namespace {

class AppGoToTest : public AppTest {
protected:
    PtyReceiver pty;
    TestSheet sheet;

    void start(const std::string& extraIni = "") {
        ASSERT_TRUE(pty.open());
        writeFile("kiv_dev.txt", "NMEA\n");
        writeFile("kiv_com.txt", "COM1\nSmall\n");
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\nCom1=" + pty.path + "\n" +
                                     extraIni);
        sheet = addSheet(45.45, -75.7, 2, 0, 40);
        ASSERT_EQ(1, app_create());
    }

    // A fix heading east through the decoder, then the strip's text of the
    // paint after it, its lines one after another.
    std::string driveTo(double lat, double lon, double knots, const char* hms) {
        pty.send(rmcSentence(lat, lon, knots, hms, "080525"));
        EXPECT_TRUE(waitFor([&] { return gps_has_position() && std::fabs(gps_longitude() - lon) < 1e-6; }));
        size_t before = headless_calls_of("draw_text").size();
        app_paint();
        std::string strip;
        auto texts = headless_calls_of("draw_text");
        for (size_t i = before; i < texts.size(); i++)
            if (texts[i].c == 15) strip += texts[i].text + "  ";
        return strip;
    }
};

TEST_F(AppGoToTest, StripLeadsToTheDestinationAndSaysArrivalWithOneBeep) {
    start("Dash=km/h\nZone=-4 EDT\n");
    go_to_point(45.45, -75.7, "Depot");
    // 1.09 km west of it at 10 knots due east, 12:35:19 UTC.
    std::string strip = driveTo(45.45, -75.714, 10, "123519");
    for (const char* item : {"To Depot", "Brg 090\xC2\xB0", "1.1 km", "SMG 19 km/h", "TTG 4 min", "ETA 08:38"})
        EXPECT_NE(std::string::npos, strip.find(item)) << item << " in " << strip;
    EXPECT_TRUE(headless_calls_of("beep").empty());

    strip = driveTo(45.45, -75.7004, 10, "123743");   // 31 m short: inside 50 m
    EXPECT_NE(std::string::npos, strip.find("Arrived at Depot")) << strip;
    driveTo(45.45, -75.7002, 3, "123745");
    EXPECT_EQ(1u, headless_calls_of("beep").size());
}

TEST_F(AppGoToTest, KeyGGoesToThePointUnderThePointer) {
    start();
    app_paint();
    int px, py;
    ASSERT_TRUE(expectedPixel(sheet, 45.46, -75.69, &px, &py));
    app_mouse_move(kPaneX + px, kPaneY + py);
    app_key_down(APP_KEY_GO_TO, 0);
    ASSERT_EQ(1u, go_to_state().points.size());
    EXPECT_NEAR(45.46, go_to_state().points[0].lat, 0.001);
    EXPECT_NEAR(-75.69, go_to_state().points[0].lon, 0.001);
}

TEST_F(AppGoToTest, FollowRouteTakesTheOpenedFilesRouteWithItsNames) {
    start();
    writeFile("trip.gpx", "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>"
                          "<trkpt lat=\"45\" lon=\"-75\"/></trkseg></trk><rte>"
                          "<rtept lat=\"45.44\" lon=\"-75.71\"><name>Start</name></rtept>"
                          "<rtept lat=\"45.45\" lon=\"-75.70\"/></rte></gpx>");
    ASSERT_EQ(1, track_overlay_open("trip.gpx"));
    app_command(MENU_FOLLOW_ROUTE);
    const NavState& s = go_to_state();
    ASSERT_EQ(2u, s.points.size());
    EXPECT_EQ("Start", s.points[0].name);
    EXPECT_EQ("", s.points[1].name);
    EXPECT_NEAR(-75.70, s.points[1].lon, 1e-9);
}

TEST_F(AppGoToTest, RouteAndLegAreKeptForTheNextRun) {
    start();
    go_to_route({{45.44, -75.71, "Start"}, {45.45, -75.70, "Bridge"}, {45.46, -75.69, "End"}}, 1);
    app_close();
    app_destroy();
    go_to_stop();
    ASSERT_EQ(1, app_create());
    const NavState& kept = go_to_state();
    ASSERT_EQ(3u, kept.points.size());
    EXPECT_EQ("Bridge", kept.points[1].name);
    EXPECT_NEAR(-75.69, kept.points[2].lon, 1e-8);
    EXPECT_EQ(1, kept.leg);
}

}  // namespace
