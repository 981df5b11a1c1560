// The main window with a receiver on a real pseudo-terminal: fixes move the
// marker and the title, the timer polls and watches the link.
#include <algorithm>
#include "app_test_support.h"
#include "app/stale_fix.h"
#include "position/serial_link.h"
#include "settings/menu_ids.h"

namespace {

class AppReceiverTest : public AppTest {
protected:
    PtyReceiver pty;
    TestSheet start;

    // The default start sheet and a link to the pty (or to port, made a
    // symbolic link to the pty) for device name.
    void startWith(const char* device, const std::string& extraIni = "", const std::string& port = "") {
        ASSERT_TRUE(pty.open());
        if (!port.empty()) {
            ASSERT_EQ(0, symlink(pty.path.c_str(), port.c_str()));
        }
        writeFile("kiv_dev.txt", std::string(device) + "\n");
        writeFile("kiv_com.txt", "COM1\nSmall\n");
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\nCom1=" +
                                     (port.empty() ? pty.path : port) + "\n" + extraIni);
        start = addSheet(45 + 25 / 60.0, -(75 + 42 / 60.0), 2, 0, 40);
        ASSERT_EQ(1, app_create());
        ASSERT_EQ(1, settings()->connected.load());
    }

    void sendFix(double lat, double lon, double knots, const char* hms) {
        pty.send(rmcSentence(lat, lon, knots, hms, "080525"));
        ASSERT_TRUE(waitFor([&] {
            return gps_fix_mode() > 0 && std::fabs(gps_latitude() - lat) < 1e-6 &&
                   std::fabs(gps_longitude() - lon) < 1e-6 && std::fabs(gps_speed_knots() - knots) < 1e-6;
        }));
    }

    static int countDrawText() { return static_cast<int>(headless_calls_of("draw_text").size()); }
};

}  // namespace

TEST_F(AppReceiverTest, FixFromTheReceiverMovesTheMarkerAndTheTitle) {
    startWith("NMEA");
    app_paint();
    EXPECT_EQ("KIV - N 45\xC2\xB0" "30'00\" / W 75\xC2\xB0" "40'00\"", headless_title());

    sendFix(45.54, -75.7, 0, "123519");
    // The reader asked the window for a paint, with a bound.
    EXPECT_TRUE(waitFor([] { return !headless_calls_of("repaint_and_wait").empty(); }));
    EXPECT_GT(headless_calls_of("repaint_and_wait")[0].a, 0);
    app_paint();
    int px, py;
    ASSERT_TRUE(expectedPixel(start, 45.54, -75.7, &px, &py));
    EXPECT_TRUE(markerAt(px, py, start.colour()));
    EXPECT_EQ("KIV - N 45\xC2\xB0" "32'24\" / W 75\xC2\xB0" "42'00\" - 12:35:19 GMT", headless_title());
    // The first fix of the run is the next run's start position.
    EXPECT_EQ("N  45 32 24\nW  75 42 00\n", readFile("kiv_pos.txt"));

    sendFix(45.53, -75.69, 0, "123520");
    app_paint();
    int qx, qy;
    ASSERT_TRUE(expectedPixel(start, 45.53, -75.69, &qx, &qy));
    EXPECT_TRUE(markerAt(qx, qy, start.colour()));
    ASSERT_TRUE(expectedPixel(start, 45.54, -75.7, &px, &py));   // where the last fix lies in the view now
    EXPECT_TRUE(plainAt(px, py, start.colour()));   // trail off: the old marker is gone
    EXPECT_EQ("KIV - N 45\xC2\xB0" "31'48\" / W 75\xC2\xB0" "41'24\" - 12:35:20 GMT", headless_title());
    // kiv_pos.txt is written once per run.
    EXPECT_EQ("N  45 32 24\nW  75 42 00\n", readFile("kiv_pos.txt"));
}

TEST_F(AppReceiverTest, FixModeBeforeAnyPositionWritesNoLastPosition) {
    startWith("NMEA");
    // Connected mid-cycle: the GSA comes before any RMC or GGA.
    pty.send(nmeaSentence("GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
    ASSERT_TRUE(waitFor([] { return gps_fix_mode() == 3; }));
    app_paint();
    EXPECT_EQ("", readFile("kiv_pos.txt"));
    sendFix(45.54, -75.7, 0, "123519");
    app_paint();
    EXPECT_EQ("N  45 32 24\nW  75 42 00\n", readFile("kiv_pos.txt"));
}

TEST_F(AppReceiverTest, SilentReceiverLosesTheFixAfter121Ticks) {
    startWith("NMEA");
    sendFix(45.54, -75.7, 0, "123519");
    app_paint();
    int px, py;
    ASSERT_TRUE(expectedPixel(start, 45.54, -75.7, &px, &py));
    ASSERT_TRUE(markerAt(px, py, start.colour()));
    ASSERT_EQ(0, settings()->linkIdleTicks.load());

    size_t before = headless_calls_of("invalidate").size();
    for (int tick = 0; tick < 121; tick++) app_timer();
    EXPECT_GT(gps_fix_mode(), 0);
    EXPECT_EQ(before, headless_calls_of("invalidate").size());
    app_timer();
    EXPECT_EQ(0, gps_fix_mode());
    EXPECT_EQ(before + 1, headless_calls_of("invalidate").size());
    app_paint();
    // The lost fix stays where it was, hollow and grey.
    EXPECT_FALSE(markerAt(px, py, start.colour()));
    EXPECT_EQ(static_cast<int>(STALE_FIX_GREY), panePixel(px, py - 4));

    // Data again: the counter starts over and the fix comes back.
    sendFix(45.54, -75.7, 0, "123600");
    EXPECT_EQ(0, settings()->linkIdleTicks.load());
    app_paint();
    EXPECT_TRUE(markerAt(px, py, start.colour()));
}

TEST_F(AppReceiverTest, GarminWithoutAnswersAgesTheFixToZeroAfterThreePositionRequests) {
    startWith("Garmin");
    gps_set_fix_mode(3);
    pty.receive(50);   // whatever the link sent on opening
    const std::string positionRequest("\x10\x0A\x02\x02\x00\xF2\x10\x03", 8);
    const std::string timeRequest("\x10\x0A\x02\x05\x00\xEF\x10\x03", 8);
    std::string sent;
    int ticks = 0;
    while (gps_fix_mode() > 0 && ticks < 20) {
        app_timer();
        ticks++;
        sent += pty.receive(30);
    }
    EXPECT_EQ(5, ticks);
    EXPECT_EQ(0, gps_fix_mode());
    auto count = [&](const std::string& what) {
        int n = 0;
        for (size_t at = sent.find(what); at != std::string::npos; at = sent.find(what, at + 1)) n++;
        return n;
    };
    EXPECT_EQ(3, count(positionRequest));
    EXPECT_EQ(2, count(timeRequest));
    EXPECT_FALSE(headless_calls_of("invalidate").empty());
}

TEST_F(AppReceiverTest, SpeedReadoutGoesTenSecondsAfterTheSpeedDrops) {
    startWith("NMEA", "Dash=km/h\n");
    sendFix(45.54, -75.7, 10.0, "123519");   // 5.14 m/s, course 90
    int before = countDrawText();
    app_paint();
    auto texts = headless_calls_of("draw_text");
    ASSERT_LE(before + 5, static_cast<int>(texts.size()));
    EXPECT_EQ(5, std::count_if(texts.begin() + before, texts.end(), [](auto& t) { return t.text == "18 km/h E"; }));
    before = static_cast<int>(texts.size()) - 5;   // the read-out is drawn last
    const HeadlessCall& red = texts.back();
    EXPECT_EQ("18 km/h E", red.text);
    EXPECT_EQ(0xCC0000u, red.rgb);
    EXPECT_EQ(36, red.c);
    EXPECT_EQ(900, red.d);
    EXPECT_EQ(480 - 18 * 9, red.a);
    EXPECT_EQ(32 + 360 + 16 - 36 - 24, red.b);   // above the fix strip
    // The white outline: left, up, right, down by 2 pixels.
    EXPECT_EQ(red.a - 2, texts[before].a);
    EXPECT_EQ(red.b - 2, texts[before + 1].b);
    EXPECT_EQ(red.a + 2, texts[before + 2].a);
    EXPECT_EQ(red.b + 2, texts[before + 3].b);
    EXPECT_EQ(0xFFFFFFu, texts[before].rgb);

    sendFix(45.54, -75.7, 0.3, "123520");     // 0.15 m/s
    headless_advance_clock(9);
    app_paint();
    EXPECT_EQ("0 km/h E", headless_calls_of("draw_text").back().text);
    headless_advance_clock(1);
    app_paint();
    EXPECT_NE("0 km/h E", headless_calls_of("draw_text").back().text);
}

// The speed read-out writes miles an hour as the Go To strip does.
TEST_F(AppReceiverTest, SpeedReadoutInMilesWritesMph) {
    startWith("NMEA", "Dash=mph\n");
    sendFix(45.54, -75.7, 10.0, "123519");   // 5.14 m/s, course 90
    app_paint();
    EXPECT_EQ("11 mph E", headless_calls_of("draw_text").back().text);
}

// In the narrowest window the speed read-out and the fix strip still do not
// meet: the read-out sits above the strip.
TEST_F(AppReceiverTest, SpeedReadoutStaysClearOfTheFixStripAtTheNarrowestWindow) {
    startWith("NMEA", "Dash=km/h\n");
    sendFix(45.54, -75.7, 60.0, "123519");
    app_size(320, 240);
    app_paint();
    auto texts = headless_calls_of("draw_text");
    auto strip = std::find_if(texts.begin(), texts.end(), [](auto& t) { return t.text.find("GPS ") == 0; });
    ASSERT_NE(texts.end(), strip);
    const HeadlessCall& speed = texts.back();
    ASSERT_NE(std::string::npos, speed.text.find("km/h"));
    EXPECT_LE(speed.b + speed.c, strip->b - 1) << speed.b << " " << strip->b;
}

TEST_F(AppReceiverTest, DisconnectClearsTheFixAndConnectOpensAgain) {
    startWith("NMEA");
    sendFix(45.54, -75.7, 0, "123519");
    gps_set_satellites_in_view(3);
    app_command(MENU_DISCONNECT);
    EXPECT_EQ(0, settings()->connected.load());
    EXPECT_EQ(0, gps_fix_mode());
    EXPECT_EQ(0, gps_sat_count());
    EXPECT_EQ(1, headless_menu_enabled(MENU_CONNECT));
    EXPECT_EQ(0, headless_menu_enabled(MENU_DISCONNECT));
    // Readers waiting for a paint were let go around the close.
    auto stops = headless_calls_of("repaint_stop");
    ASSERT_EQ(2u, stops.size());
    EXPECT_EQ(1, stops[0].a);
    EXPECT_EQ(0, stops[1].a);
    app_paint();
    int px, py;
    ASSERT_TRUE(expectedPixel(start, 45.54, -75.7, &px, &py));
    EXPECT_TRUE(plainAt(px, py, start.colour()));

    app_command(MENU_CONNECT);
    EXPECT_EQ(1, settings()->connected.load());
    EXPECT_EQ("", gps_utc_text());
    sendFix(45.53, -75.69, 0, "123530");
    app_paint();
    ASSERT_TRUE(expectedPixel(start, 45.53, -75.69, &px, &py));
    EXPECT_TRUE(markerAt(px, py, start.colour()));
}

TEST_F(AppReceiverTest, UnpluggedReceiverIsReportedOnceAndReadAgainWhenPluggedInAgain) {
    // A stable name for the device, as /dev/serial/by-id/ gives.
    const std::string name = (dir / "gps").string();
    startWith("NMEA", "", name);
    sendFix(45.54, -75.7, 0, "123519");
    app_timer();
    app_paint();

    // Unplugged: the far side of the pseudo-terminal goes away.
    close(pty.master);
    pty.master = -1;
    ASSERT_TRUE(waitFor([this] { return serial_link_lost(settings()) == 1; }));
    for (int tick = 0; tick < 5; tick++) {
        app_timer();
        app_paint();
    }
    EXPECT_EQ(0, gps_fix_mode());
    EXPECT_NE(std::string::npos, headless_title().find("[GPS lost, reconnecting]"));
    int lostTitles = 0;
    for (const auto& c : headless_calls_of("set_title")) lostTitles += c.text.find("GPS lost") != std::string::npos;
    EXPECT_EQ(1, lostTitles);   // said once, not at every tick
    EXPECT_EQ(0u, gps_last_message().find("GPS link lost: " + name));
    EXPECT_TRUE(headless_calls_of("message_box").empty());

    // Plugged in again: another pseudo-terminal behind the same name. The
    // fix comes back with no user action and the note goes.
    PtyReceiver again;
    ASSERT_TRUE(again.open());
    unlink(name.c_str());
    ASSERT_EQ(0, symlink(again.path.c_str(), name.c_str()));
    ASSERT_TRUE(waitFor([this] { return serial_link_lost(settings()) == 0; }, 8000));
    EXPECT_EQ("", gps_utc_text());
    app_timer();
    EXPECT_EQ("GPS link back: " + name, gps_last_message());
    again.send(rmcSentence(45.53, -75.69, 0, "123530", "080525"));
    ASSERT_TRUE(waitFor([] { return gps_fix_mode() > 0 && std::fabs(gps_latitude() - 45.53) < 1e-6; }));
    app_timer();
    app_paint();
    EXPECT_EQ(std::string::npos, headless_title().find("GPS lost"));
    EXPECT_TRUE(headless_calls_of("message_box").empty());
}

TEST_F(AppReceiverTest, DisconnectWhileTheReceiverIsAwayEndsTheSearchAndTheNote) {
    startWith("NMEA");
    close(pty.master);
    pty.master = -1;
    ASSERT_TRUE(waitFor([this] { return serial_link_lost(settings()) == 1; }));
    app_timer();
    app_command(MENU_DISCONNECT);
    EXPECT_EQ(0, serial_readers_running());
    app_timer();
    app_paint();
    EXPECT_EQ(std::string::npos, headless_title().find("GPS lost"));
    EXPECT_EQ(std::string::npos, gps_last_message().find("back"));
}
