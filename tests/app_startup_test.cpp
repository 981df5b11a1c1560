// Start-up, timer, toolbar and shutdown of the main window, headless.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <set>

#include "app/client_frame.h"
#include "app/pane_notice.h"
#include "app/toolbar_bitmaps.h"
#include "maps/png_sheet.h"
#include "app_test_support.h"
#include "position/serial_link.h"
#include "download_fault_server.h"

namespace {

int countMessages(const std::string& text) {
    int n = 0;
    for (const auto& c : headless_calls_of("message_box"))
        if (c.text.substr(0, c.text.find("\n\n")) == text) n++;
    return n;
}

// The 32 x 32 face at (x, 6) in the last frame equals bitmap id.
bool faceShown(int x, int id) {
    const unsigned char* face = toolbar_bitmap(id);
    if (!face) return false;
    for (int r = 0; r < 32; r++)
        for (int c = 0; c < 32; c++) {
            const unsigned char* p = face + (r * 32 + c) * 3;
            if (headless_frame_pixel(x + c, 6 + r) != ((p[0] << 16) | (p[1] << 8) | p[2])) return false;
        }
    return true;
}

}  // namespace

TEST_F(AppTest, StartsWithDefaultsAndTheStartSheetWithoutSettingsFiles) {
    std::filesystem::remove("kiv_ini.txt");
    // Default start N 45 25 00 / W 75 42 00 at level 2: half up to the sheet at 45 30 N, 75 40 W.
    TestSheet start = addSheet(45 + 25 / 60.0, -(75 + 42 / 60.0), 2, 0, 40);
    ASSERT_EQ(1, app_create());
    AppSettings* s = settings();
    EXPECT_EQ(DEVICE_EARTHMATE, s->deviceType);
    EXPECT_EQ(1, s->comPort);
    EXPECT_EQ(9600u, s->baudRate);
    EXPECT_EQ(1, s->autoPan);
    EXPECT_EQ(1, s->rose);
    EXPECT_EQ(0, s->bigMaps);
    EXPECT_STREQ("./Maps", s->mapsDir);
    // Port 1 is /dev/ttyS0 here: the warning shows exactly when it did not open.
    EXPECT_EQ(s->connected ? 0 : 1, countMessages("No GPS connected"));
    EXPECT_EQ(1000, headless_timer_ms());

    app_paint();
    EXPECT_EQ(1, headless_blits());
    EXPECT_EQ("KIV - N 45\xC2\xB0" "30'00\" / W 75\xC2\xB0" "40'00\"", headless_title());
    // The sheet fills the pane, inside its frame lines.
    EXPECT_EQ(static_cast<int>(start.colour()), panePixel(0, 0));
    EXPECT_EQ(static_cast<int>(start.colour()), panePixel(479, 359));
    EXPECT_EQ(0x000000, pixel(0, 48));
    EXPECT_EQ(0xFFFFFF, pixel(481, 100));
    EXPECT_EQ(0xFFFFFF, pixel(100, 32 + 360 + 17));
    // Auto-pan on and level 2 in force: their faces are pressed.
    EXPECT_TRUE(faceShown(14, BITMAP_GPS_PRESSED));
    EXPECT_TRUE(faceShown(344, BITMAP_LEVEL_PRESSED + 2));
    EXPECT_TRUE(faceShown(254, BITMAP_LEVEL + 0));
    EXPECT_TRUE(faceShown(67, BITMAP_WEST));
    EXPECT_TRUE(faceShown(196, BITMAP_EAST));
    // Strip lines and separators.
    EXPECT_EQ(0x000000, pixel(300, 1));
    EXPECT_EQ(0xFFFFFF, pixel(300, 2));
    EXPECT_EQ(0x000000, pixel(56, 20));
    EXPECT_EQ(0xFFFFFF, pixel(57, 20));
    EXPECT_EQ(0x000000, pixel(478, 5));
    EXPECT_NE(0x000000, pixel(478, 40));
}

// A button in force looks pressed, not disabled: its picture keeps every
// colour and its edge is sunken where the plain face's is raised.
TEST(ToolbarFaces, PressedFacesKeepThePictureAndSink) {
    auto colours = [](int id) {
        std::set<int> out;
        const unsigned char* f = toolbar_bitmap(id);
        for (int i = 0; i < 32 * 32; i++) out.insert((f[i * 3] << 16) | (f[i * 3 + 1] << 8) | f[i * 3 + 2]);
        return out;
    };
    const int pairs[][2] = {{BITMAP_GPS, BITMAP_GPS_PRESSED}, {BITMAP_LEVEL, BITMAP_LEVEL_PRESSED},
                            {BITMAP_LEVEL + 4, BITMAP_LEVEL_PRESSED + 4}};
    for (const auto& [plain, in] : pairs) {
        std::set<int> shown = colours(in);
        for (int c : colours(plain)) {
            if (c == 0xFFFFFF || c == 0xC0C0C0 || c == 0x808080 || c == 0x404040) continue;   // the raised frame
            EXPECT_TRUE(shown.count(c)) << plain << " loses " << std::hex << c;
        }
        EXPECT_EQ(0xFF, toolbar_bitmap(plain)[0]);   // top-left: light when raised
        EXPECT_LT(toolbar_bitmap(in)[0], 0x80);      // dark when sunken
    }
}

// Every button names what it does when the pointer rests on it.
TEST_F(AppTest, ToolbarButtonsShowTipsUnderThePointer) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    app_mouse_move(200, 200);
    const size_t before = headless_calls_of("set_tooltip").size();
    for (int x : {14, 67, 110, 153, 196, 254, 299, 344, 389, 434}) {
        app_mouse_move(x + 16, 20);
        app_mouse_move(x + 17, 21);                  // the same button: told once
    }
    auto calls = headless_calls_of("set_tooltip");
    ASSERT_EQ(before + 10, calls.size());
    std::set<std::string> tips;
    for (size_t i = before; i < calls.size(); i++)
        if (!calls[i].text.empty()) tips.insert(calls[i].text);
    EXPECT_EQ(10u, tips.size());
    app_mouse_move(200, 200);                        // over the map: no tip
    EXPECT_EQ("", headless_calls_of("set_tooltip").back().text);
}

TEST_F(AppTest, MissingPortIsLookedForUntilItIsPluggedIn) {
    const std::string port = (dir / "gps").string();
    writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\nCom1=" + port + "\n");
    writeFile("kiv_dev.txt", "NMEA\n");
    ASSERT_EQ(1, app_create());
    // No box: the title and the monitor say what is missing, the link looks on.
    EXPECT_TRUE(headless_calls_of("message_box").empty());
    EXPECT_EQ(1, settings()->connected.load());
    ASSERT_TRUE(waitFor([] { return app_timer(), gps_last_message().find("does not exist") != std::string::npos; }));
    PtyReceiver pty;
    ASSERT_TRUE(pty.open());
    ASSERT_EQ(0, symlink(pty.path.c_str(), port.c_str()));
    ASSERT_TRUE(waitFor([this] { return serial_link_lost(settings()) == 0; }, 8000));
    app_timer();
    EXPECT_EQ("GPS link back: " + port, gps_last_message());
}

TEST_F(AppTest, StartSheetThatDoesNotDecodeIsDroppedAndTheTimerStillRuns) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    TestSheet start = addSheet(45 + 25 / 60.0, -(75 + 42 / 60.0), 2, 0, 40);
    char path[SHEET_PATH_MAX];
    sheet_path(path, sizeof path, "./Maps", start.lat, start.lon, 2, 0, SHEET_GIF);
    writeBytes(path, Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 2, 3});
    ASSERT_EQ(1, app_create());
    EXPECT_EQ(1, countMessages("Error in loading the GIF image"));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(1000, headless_timer_ms());
    app_paint();
    EXPECT_EQ(0xE4E0D4, panePixel(100, 100));   // no sheet: the neutral picture
    app_timer();
    EXPECT_EQ(500, headless_timer_ms());
}

TEST_F(AppTest, ClientSizesFollowTheMapSize) {
    int w0, h0, w1, h1;
    app_client_size(0, &w0, &h0);
    app_client_size(1, &w1, &h1);
    EXPECT_EQ(482, w0);
    EXPECT_EQ(411, h0);
    EXPECT_EQ(240, w1 - w0);
    EXPECT_EQ(180, h1 - h0);
}

// Big Maps chooses the sheets; the pane fills whatever client area the
// window has, from the smallest to the largest screen.
TEST_F(AppTest, ThePaneFillsTheClientAreaAndBigMapsLeavesTheWindowAlone) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    app_paint();
    settings()->bigMaps = 1;   // as the Big Maps command leaves it
    app_paint();
    EXPECT_TRUE(headless_calls_of("resize_client").empty());
    for (auto [w, h] : {std::pair{320, 240}, std::pair{1024, 768}, std::pair{3840, 2160}}) {
        app_size(w, h);
        app_paint();
        EXPECT_EQ(w - 2, map_view.paneWidth);
        EXPECT_EQ(h - APP_PANE_Y - 2, map_view.paneHeight);
        EXPECT_EQ(0xFFFFFF, pixel(w - 1, h / 2));          // the pane's right frame line
        EXPECT_EQ(0xFFFFFF, pixel(w / 2, h - 2));          // and its bottom one
        EXPECT_NE(RGB_FACE, static_cast<uint32_t>(pixel(w - 3, h - 4)));  // map, not the window's face
    }
}

TEST_F(AppTest, CloseThenDestroyEndTheLoopWithZero) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    app_close();
    EXPECT_EQ(1, headless_window_destroyed());
    EXPECT_NE(nullptr, settings());
    app_destroy();
    EXPECT_EQ(nullptr, settings());
    EXPECT_EQ(0, headless_quit_code());
    // Without a record every handler does nothing.
    int blits = headless_blits();
    app_paint();
    app_timer();
    app_mouse_down(APP_BUTTON_LEFT, 100, 100, 0);
    app_key_down(APP_KEY_LEFT, 0);
    app_command(261);
    EXPECT_EQ(blits, headless_blits());
}

// Full screen over a maximised window: the toolkit reports it as not
// maximised, yet leaving full screen, and the next start, come back
// maximised, with the window's own size kept for un-maximising.
TEST_F(AppTest, FullScreenOverAMaximisedWindowKeepsItMaximised) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    app_window_placed(10, 20, 1000, 700, 0, 0);
    app_window_placed(0, 0, 1920, 1050, 1, 0);
    app_key_down(APP_KEY_FULL_SCREEN, 0);
    app_window_placed(0, 0, 1920, 1080, 0, 1);
    app_close();
    std::string state = readFile("kiv_state.txt");
    for (const char* kept : {"\nMaximised=1\n", "\nFullScreen=1\n", "\nWidth=1000\n", "\nHeight=700\n"})
        EXPECT_NE(std::string::npos, state.find(kept)) << kept << state;
    app_destroy();
}

TEST_F(AppTest, DestroyAgainstASilentSiteLeavesNoRequestRunning) {
    // A site that takes the connection and never answers: the start-up probe
    // would wait on it for its whole deadline.
    int site = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(0, bind(site, reinterpret_cast<sockaddr*>(&a), sizeof a));
    ASSERT_EQ(0, listen(site, 4));
    getsockname(site, reinterpret_cast<sockaddr*>(&a), &len);
    auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
    };
    auto before = threads();
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/\n");
    ASSERT_EQ(1, app_create());
    app_close();
    app_destroy();
    // A thread still inside libcurl when exit takes the library down crashes.
    // A joined thread may still be listed for a moment while the kernel
    // takes it down: looked at until it goes, within a deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (threads() != before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(before, threads());
    close(site);
}

TEST_F(AppTest, ExitFreesTheBitmapAndAsksToClose) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    addSheet(45 + 25 / 60.0, -(75 + 42 / 60.0), 2, 0, 40);
    ASSERT_EQ(1, app_create());
    app_paint();
    EXPECT_NE(0xC0C0C0, panePixel(10, 10));
    app_command(263);
    EXPECT_EQ(1, headless_close_posted());
    EXPECT_EQ(nullptr, map_view.dibHeader);
    app_paint();
    EXPECT_EQ(0xC0C0C0, panePixel(10, 10));
}

TEST_F(AppTest, TimerWatchdogIsIdleWithoutALink) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    setFix(45.4, -75.7);
    for (int i = 0; i < 200; i++) app_timer();
    EXPECT_EQ(3, gps_fix_mode());
    EXPECT_EQ(0, settings()->linkIdleTicks.load());
    // The remote position server has no silence to count either.
    settings()->deviceType = DEVICE_REMOTE;
    settings()->connected = 1;
    for (int i = 0; i < 200; i++) app_timer();
    settings()->connected = 0;
    EXPECT_EQ(3, gps_fix_mode());
    EXPECT_EQ(0, settings()->linkIdleTicks.load());
}

// The pane's text once it says that no sheet came (timer and paint run
// until then, with a deadline).
std::string noSheetNotice() {
    std::string said;
    waitFor([&] {
        app_timer();
        app_paint();
        said.clear();
        for (const auto& t : headless_calls_of("draw_text")) said += t.text + "\n";
        return said.find("No sheet stored") != std::string::npos;
    });
    return said;
}

TEST_F(AppTest, NoStoredSheetAndNoServerIsSaidInThePaneOverANeutralPicture) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    // The download fails in the background; the timer or a paint reports it.
    std::string said = noSheetNotice();
    EXPECT_NE(std::string::npos, said.find("No sheet stored")) << said;
    EXPECT_NE(std::string::npos, said.find("./Maps")) << said;
    EXPECT_NE(std::string::npos, said.find("http://127.0.0.1:1/")) << said;
    EXPECT_TRUE(headless_calls_of("message_box").empty());
    // The marker still moves on the neutral picture, at its grid place.
    int neutral = panePixel(0, 0);
    EXPECT_EQ(0xE4E0D4, neutral);
    setFix(45.5, -(75 + 40 / 60.0));
    app_paint();
    EXPECT_EQ(0xFFFF00, panePixel(240 - 3, 180));
}

// No receiver set up: the pane says how to connect one over the start sheet,
// and the note goes once a receiver connects.
TEST_F(AppTest, StartWithoutReceiverSaysHowToConnectOne) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    addSheet(45 + 25 / 60.0, -(75 + 42 / 60.0), 2, 0, 40);
    ASSERT_EQ(1, app_create());
    auto said = [] {
        headless_reset();
        app_paint();
        std::string text;
        for (const auto& t : headless_calls_of("draw_text")) text += t.text + "\n";
        return text;
    };
    std::string text = said();
    for (const char* part : {"Settings COM", "gpsd://", "tcp://", "kivsim"})
        EXPECT_NE(std::string::npos, text.find(part)) << text;
    pane_notice_receiver_connected();
    EXPECT_EQ(std::string::npos, said().find("kivsim"));
}

// A WMS sheet (PNG) at the start point is shown at once, not fetched.
TEST_F(AppTest, AStoredPngStartSheetIsShownWithoutAFetch) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    Bytes rgb(480 * 360 * 3, 90);
    unsigned char* png = nullptr;
    size_t size = 0;
    ASSERT_EQ(1, png_write_rgb_memory(rgb.data(), 480, 360, &png, &size));
    char path[SHEET_PATH_MAX];
    sheet_path(path, sizeof path, "./Maps", zoom_level_snap_latitude(45 + 25 / 60.0, 2, 0), zoom_level_snap_longitude(-(75 + 42 / 60.0), 2, 0),
              2, 0, SHEET_PNG);
    writeBytes(path, Bytes(png, png + size));
    free(png);
    ASSERT_EQ(1, app_create());
    EXPECT_FALSE(pane_placeholder_shown());
    EXPECT_STREQ(path, map_view.sheetPath);
}

// A server that answers with an error is not "unreachable": the pane says
// what it answered.
TEST_F(AppTest, NoSheetFromAServerThatAnsweredSaysWhatItSaid) {
    FaultServer server([](const std::string&) { return faultStatus(500, "Internal Server Error", "<html>down</html>"); });
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_ini.txt", "Server=" + server.root() + "\n");
    ASSERT_EQ(1, app_create());
    std::string said = noSheetNotice();
    EXPECT_NE(std::string::npos, said.find(server.root())) << said;
    EXPECT_NE(std::string::npos, said.find("The map server answered HTTP 500")) << said;
    EXPECT_EQ(std::string::npos, said.find("cannot be reached")) << said;
}
