// Tracks in the main window: the GPX recording of a drive, opened GPX
// tracks over the sheet, and a fix that has gone stale.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "app_test_support.h"
#include "nmea_test_support.h"
#include "app/position_refresh.h"
#include "tracks/gpx_recording.h"
#include "app/stale_fix.h"
#include "app/track_overlay.h"
#include "net/remote_server.h"
#include "tracks/gpx_reader.h"
#include "settings/menu_ids.h"

namespace {

constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0);

class AppTracksTest : public AppTest {
protected:
    TestSheet home;
    PtyReceiver pty;
    void create(const std::string& ini = "", const char* com = "COM0") {
        writeFile("kiv_com.txt", std::string(com) + "\nSmall\n");
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n" + ini);
        home = addSheet(kLat, kLon, 2, 0, 40);
        ASSERT_EQ(1, app_create());
    }
    void TearDown() override {
        AppTest::TearDown();
        gpx_recording_stop();
        track_overlay_close_all();
    }
    // A track along a parallel in steps of 0.002 degrees, a waypoint, and
    // a two-point route along a meridian (straight on the map) whose ends
    // lie far off the sheet on either side.
    static std::string gpxText(double lat, const char* quote = "\"") {
        std::string q = quote, text = "<?xml version=" + q + "1.0" + q + "?><gpx version=" + q + "1.1" + q + "><trk><trkseg>";
        for (int i = 0; i <= 40; i++) {
            char pt[128];
            snprintf(pt, sizeof pt, "<trkpt lat=%s%.6f%s lon=%s%.6f%s/>", quote, lat, quote, quote, -75.72 + i * 0.002, quote);
            text += pt;
        }
        text += "</trkseg></trk><wpt lat=" + q + "45.49" + q + " lon=" + q + "-75.66" + q + "><name>Camp</name></wpt>";
        text += "<rte><rtept lat=" + q + "44" + q + " lon=" + q + "-75.65" + q + "/><rtept lat=" + q + "47" + q +
                " lon=" + q + "-75.65" + q + "/></rte></gpx>";
        return text;
    }
    void openTrack(const std::string& name) {
        headless_set_open_file((dir / name).string());
        app_command(MENU_OPEN_TRACK);
    }
    int pixelOf(double lat, double lon) {
        int px, py;
        if (!expectedPixel(home, lat, lon, &px, &py)) return -2;
        return panePixel(px, py);
    }
    // NMEA on a pseudo-terminal, speeds shown in km/h.
    void createWithReceiver() {
        ASSERT_TRUE(pty.open());
        writeFile("kiv_dev.txt", "NMEA\n");
        create("Com1=" + pty.path + "\nDash=km/h\n", "COM1");
        ASSERT_EQ(1, settings()->connected.load());
    }
    void sendFix(double lat, double lon, const char* hms) {
        unsigned before = gps_position_count();
        pty.send(rmcSentence(lat, lon, 10, hms, "080525"));
        ASSERT_TRUE(waitFor([&] { return gps_position_count() != before && gps_fix_mode() > 0; }));
    }
    // The hollow grey ring at (px, py): grey ring, the sheet in the middle,
    // and no yellow of the normal marker anywhere in its square.
    bool hollowAt(int px, int py) {
        for (int r = -5; r <= 5; r++)
            for (int c = -5; c <= 5; c++)
                if (panePixel(px + c, py + r) == 0xFFFF00) return false;
        return panePixel(px, py - 4) == static_cast<int>(STALE_FIX_GREY) &&
               panePixel(px, py) == static_cast<int>(home.colour());
    }
    uint32_t speedColour() {
        auto texts = headless_calls_of("draw_text");
        return texts.empty() ? 1 : texts.back().rgb;
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

// The recorder follows the fix record alone: no paint, one point per fix
// second wherever the marker is, a new segment when the time steps back or
// the link reopens, a file per day, and Track remembered in kiv_ini.txt.
TEST_F(AppTracksTest, RecordingFollowsTheFixWithoutPaintingInSegmentsAndADayPerFile) {
    std::filesystem::create_directory("gpx");
    create("Gpx=gpx\n");
    app_command(MENU_TRACK);
    EXPECT_NE(readFile("kiv_ini.txt").find("Track=Y"), std::string::npos);
    gps_set_altitude(80);
    gps_set_hdop(1.4);
    gps_set_course(123);
    const GpsSatellite sats[3] = {{5, 40, 100, 35, 1, 0, 0}, {7, 20, 200, 30, 1, 0, 0}, {9, 10, 300, 20, 0, 0, 0}};
    gps_set_satellites(sats, 3, 3);
    int points = 0;
    auto fix = [&](double lat, const char* utc, bool recorded = true) {
        setFix(lat, -75.69, utc, 20);
        if (recorded) {
            ASSERT_TRUE(waitFor([&] { return gpx_recording_points() == points + 1; })) << utc;
        }
        points += recorded;
    };
    fix(45.53, "2025/05/08 23:59:59");
    fix(45.53, "2025/05/09 00:00:00");     // the same pixel, the next day
    fix(45.53001, "2025/05/09 00:00:05");
    fix(45.53002, "2025/05/09 00:00:05", false);   // the same second
    fix(45.53003, "2025/05/09 00:00:02");  // stepped back: a new segment
    app_command(MENU_CONNECT);             // reopened: a new segment
    fix(45.53004, "2025/05/09 00:00:03");
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
    EXPECT_DOUBLE_EQ(p.course, 123);
    EXPECT_DOUBLE_EQ(p.hdop, 1.4);
    EXPECT_EQ(p.sat, 2);
    EXPECT_EQ(p.time, gpx_time_from_text("2025-05-08T23:59:59Z"));
    ASSERT_EQ(second.lines.size(), 3u);
    EXPECT_EQ(second.lines[0].points.size(), 2u);
    EXPECT_NEAR(second.lines[0].points[1].lat, 45.53001, 1e-7);
}

// A folder that cannot take the file is said once, naming the file.
TEST_F(AppTracksTest, ARecordingThatCannotStartIsSaidOnce) {
    writeFile("missing folder", "a file, not a folder\n");
    create("Gpx=missing folder\n");
    app_command(MENU_TRACK);
    setFix(45.53, -75.69, "2025/05/08 12:00:00");
    std::string said;
    ASSERT_TRUE(waitFor([&] {
        app_timer();
        said.clear();
        for (const HeadlessCall& c : headless_calls_of("message_box")) said += c.text;
        return !said.empty();
    }));
    EXPECT_NE(said.find("missing folder/kiv-20250508-120000.gpx: Not a directory"), std::string::npos) << said;
    setFix(45.54, -75.69, "2025/05/08 12:00:01");
    app_timer();
    EXPECT_EQ(headless_calls_of("message_box").size(), 1u);
}

// The folder is made when missing, and a run that meets the file of its
// first second (a replayed log, Track off and on) takes the next free name.
TEST_F(AppTracksTest, ARecordingMakesItsFolderAndTakesTheNextFreeName) {
    create("Gpx=gpx/drives\n");
    for (int run = 0; run < 3; run++) {
        app_command(MENU_TRACK);
        setFix(45.53 + run * 1e-4, -75.69, "2025/05/08 12:00:00");
        ASSERT_TRUE(waitFor([] { return gpx_recording_points() == 1; })) << run;
        app_command(MENU_TRACK);
    }
    std::vector<std::string> expected = {"gpx/drives/kiv-20250508-120000-1.gpx", "gpx/drives/kiv-20250508-120000-2.gpx",
                                         "gpx/drives/kiv-20250508-120000.gpx"};
    EXPECT_EQ(gpxFiles("gpx/drives"), expected);
}

// NMEA through the decoder, each sentence seen by the recorder before the next.
class AppTracksNmeaTest : public AppTracksTest {
protected:
    void SetUp() override {
        AppTracksTest::SetUp();
        nmea_reset();
        std::filesystem::create_directory("gpx");
    }
    void feed(const std::string& body) {
        std::string line = nmea_with_checksum(body);
        int looks = gpx_recording_looks();
        nmea_feed(line.data(), static_cast<int>(line.size()));
        // One look sees the change, the next finds it settled.
        ASSERT_TRUE(waitFor([&] { return gpx_recording_looks() >= looks + 2; }));
    }
};

// A receiver sending GGA alone gives no date: the computer's clock does,
// and its fixes are recorded and shown with their time.
TEST_F(AppTracksNmeaTest, AReceiverWithoutDatesIsRecordedOnTheClocksDay) {
    create("Gpx=gpx\n");
    app_command(MENU_TRACK);
    feed("GPGGA,221321,4532.000,N,07541.400,W,1,08,0.9,80.0,M,,M,,");   // the clock: 2023-11-14 22:13:20
    feed("GPGGA,221322,4532.001,N,07541.400,W,1,08,0.9,80.0,M,,M,,");
    EXPECT_EQ(gpx_recording_points(), 2);
    EXPECT_EQ(gpxFiles("gpx"), std::vector<std::string>{"gpx/kiv-20231114-221321.gpx"});
    EXPECT_NE(std::string(app_compose_title()).find(" - 22:13:22 "), std::string::npos) << app_compose_title();
}

// GpxInterval=0 takes every fix, and the RMC, GGA and GLL of one epoch are one.
TEST_F(AppTracksNmeaTest, EveryFixIsOnePointWhateverSentencesCarryIt) {
    create("Gpx=gpx\nGpxInterval=0\n");
    app_command(MENU_TRACK);
    for (const char* second : {"00", "01", "02"}) {
        const std::string hms = std::string("1200") + second, lat = std::string("4532.0") + second;
        feed("GPRMC," + hms + ",A," + lat + ",N,07541.400,W,10.0,90.0,080525,,,A");
        feed("GPGGA," + hms + "," + lat + ",N,07541.400,W,1,08,0.9,80.0,M,,M,,");
        feed("GPGLL," + lat + ",N,07541.400,W," + hms + ",A,A");
    }
    EXPECT_EQ(gpx_recording_points(), 3);
}

TEST_F(AppTracksTest, OpenedTracksShowInTheirColoursWithWaypointNamesUntilClosed) {
    create();
    writeFile("a.gpx", gpxText(45.52));
    writeFile("b.gpx", gpxText(45.53, "'"));
    openTrack("a.gpx");
    openTrack("b.gpx");
    ASSERT_EQ(track_overlay_count(), 2);
    headless_reset();
    app_paint();
    const int a = static_cast<int>(track_overlay_colour(0)), b = static_cast<int>(track_overlay_colour(1));
    ASSERT_NE(a, b);
    for (int i = 0; i <= 40; i += 4) {   // clear of the routes at -75.65
        EXPECT_EQ(pixelOf(45.52, -75.72 + i * 0.002), a) << "point " << i;
        EXPECT_EQ(pixelOf(45.53, -75.72 + i * 0.002), b) << "point " << i;
    }
    // The route's ends are far outside: its crossing of the sheet is drawn
    // (the later file's over the earlier one's).
    EXPECT_EQ(pixelOf(45.45, -75.65), b);
    EXPECT_EQ(pixelOf(45.47, -75.65), b);
    EXPECT_EQ(pixelOf(45.47, -75.60), static_cast<int>(home.colour()));
    int names = 0;
    for (const HeadlessCall& c : headless_calls_of("draw_text"))
        if (c.text == "Camp" && (c.rgb == static_cast<uint32_t>(a) || c.rgb == static_cast<uint32_t>(b))) names++;
    EXPECT_EQ(names, 2);

    app_command(MENU_CLOSE_TRACKS);
    app_paint();
    EXPECT_EQ(track_overlay_count(), 0);
    EXPECT_EQ(pixelOf(45.52, -75.70), static_cast<int>(home.colour()));
    EXPECT_EQ(pixelOf(45.47, -75.65), static_cast<int>(home.colour()));
}

TEST_F(AppTracksTest, AFileThatIsNotGpxIsRefusedWithAWarning) {
    create();
    writeFile("notes.gpx", "just some text <b>");
    headless_reset();
    openTrack("notes.gpx");
    EXPECT_EQ(track_overlay_count(), 0);
    auto boxes = headless_calls_of("message_box");
    ASSERT_EQ(boxes.size(), 1u);
    // The warning says which file and what is wrong where.
    EXPECT_NE(boxes[0].text.find("notes.gpx: line 1: syntax error"), std::string::npos) << boxes[0].text;
}

// Each way of losing the fix greys the marker, puts the age in the title
// beside the last fix's position, and dims the speed; the next fix brings
// the normal look back.
TEST_F(AppTracksTest, ALostOrSilentFixIsDrawnHollowAndGreyUntilTheNextFix) {
    createWithReceiver();
    struct Case {
        const char* what;
        std::string sentence;           // sent after the fix, if any
        int seconds;                    // then this much later
        const char* title;
    };
    const Case cases[] = {
        {"receiver silent", "", STALE_FIX_SECONDS + 1, " - no fix for 6 s"},
        {"no fix reported", nmeaSentence("GPGSA,A,1,,,,,,,,,,,,,,,"), 2, " - no fix for 2 s"},
        {"no fix with a position", nmeaSentence("GPRMC,123530,V,0000.0000,N,00000.0000,E,0.0,0.0,080525,,,N"), 2,
         " - no fix for 2 s"},
        {"silent for long", "", 600, " - no fix for 10 min"},
    };
    int second = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char hms[8];
        snprintf(hms, sizeof hms, "1235%02d", second++);
        sendFix(45.53, -75.69, hms);
        app_paint();
        int px, py;
        ASSERT_TRUE(expectedPixel(home, 45.53, -75.69, &px, &py));
        EXPECT_EQ(0xFFFF00, panePixel(px, py));   // the moving arrow
        EXPECT_EQ(std::string::npos, headless_title().find("no fix"));
        EXPECT_EQ(0xCC0000u, speedColour());

        if (!c.sentence.empty()) {
            pty.send(c.sentence);
            ASSERT_TRUE(waitFor([] { return gps_fix_mode() == 0; }));
        }
        headless_advance_clock(c.seconds);
        size_t invalidated = headless_calls_of("invalidate").size();
        app_timer();   // the window is told to repaint without any news from the receiver
        EXPECT_GT(headless_calls_of("invalidate").size(), invalidated);
        app_paint();
        EXPECT_TRUE(hollowAt(px, py));
        EXPECT_NE(std::string::npos, headless_title().find(c.title)) << headless_title();
        EXPECT_EQ(0u, headless_title().find("KIV - N 45\u00B031'48\" / W 75\u00B041'24\"")) << headless_title();
        EXPECT_EQ(STALE_FIX_GREY, speedColour());
    }
    sendFix(45.52, -75.70, "123559");
    app_paint();
    int px, py;
    ASSERT_TRUE(expectedPixel(home, 45.52, -75.70, &px, &py));
    EXPECT_EQ(0xFFFF00, panePixel(px, py));   // the moving arrow
    EXPECT_EQ(std::string::npos, headless_title().find("no fix"));
}

// Posted positions have the server's own limit before they count as old.
TEST_F(AppTracksTest, ARemotePositionTurnsGreyOnlyAfterTheServersLimit) {
    create();
    net_install_remote_hooks();
    remote_server_set_listen_host("127.0.0.1");
    settings()->basePort = 0;
    app_command(MENU_DEVICE_REMOTE);
    ASSERT_EQ(1, remote_server_running());
    auto post = [](double lat, double lon) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(remote_server_port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
        char body[96], request[256];
        snprintf(body, sizeof body, "latitude=%.5f&longitude=%.5f", lat, lon);
        int n = snprintf(request, sizeof request, "POST / HTTP/1.0\r\nContent-length: %zu\r\n\r\n%s", strlen(body), body);
        ASSERT_EQ(n, write(fd, request, static_cast<size_t>(n)));
        char reply[512];
        while (read(fd, reply, sizeof reply) > 0) {}
        close(fd);
        ASSERT_TRUE(waitFor([&] { return gps_fix_mode() > 0 && std::fabs(gps_latitude() - lat) < 1e-6; }));
    };
    post(45.53, -75.69);
    int px, py;
    headless_advance_clock(60);
    app_paint();
    ASSERT_TRUE(expectedPixel(home, 45.53, -75.69, &px, &py));
    EXPECT_TRUE(markerAt(px, py, home.colour()));
    headless_advance_clock(REMOTE_STALE_SECONDS - 59);
    app_paint();
    EXPECT_TRUE(hollowAt(px, py));
    EXPECT_NE(std::string::npos, headless_title().find(" - no fix for 5 min")) << headless_title();
    post(45.53, -75.69);   // the same place again is news
    app_paint();
    EXPECT_TRUE(markerAt(px, py, home.colour()));
    app_command(MENU_DISCONNECT);
}
