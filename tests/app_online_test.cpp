// The main window against a loopback map server: the start sheet is
// downloaded when missing, the start-up probe takes the program online at
// the next tick, and auto-pan then downloads the sheet the fix moves onto.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "app/commands_link.h"
#include "app/download_area.h"
#include "app/online_probe.h"
#include "app/position_refresh.h"
#include "app/sheet_fetching.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_fetch_queue.h"
#include "app_test_support.h"
#include "download_fault_server.h"
#include "settings/menu_ids.h"

namespace {

constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0), kStep = 1 / 6.0;

// The extent a server would give for a level-2 small sheet at (lat, lon).
SheetExtent extentFor(double lat, double lon) {
    SheetExtent e{};
    view_sheet_expected_extent(lat, lon, 2, 0, &e);
    return e;
}

std::string replyPage(const SheetExtent& e, int n) {
    char mapext[160];
    snprintf(mapext, sizeof mapext, "%f %f %f %f", e.minX, e.minY, e.maxX, e.maxY);
    return "<html>\n<body>\n<table>\n<tr><td>mapext</td><td>" + std::string(mapext) +
           "</td></tr>\n<tr><td>image</td><td>/tmp/ntdb" + std::to_string(n) + ".gif</td></tr>\n</table>\n</body>\n</html>\n";
}

}  // namespace

TEST_F(AppTest, MissingSheetsComeFromTheMapServerAtStartAndOnceOnline) {
    const SheetExtent extents[2] = {extentFor(kLat, kLon), extentFor(kLat + kStep, kLon)};
    const int colours[2] = {40, 41};
    std::atomic<int> pages{0}, images{0};
    FaultServer server([&](const std::string& line) -> FaultReply {
        if (line.rfind("GET / ", 0) == 0) return faultOk("<html>Toporama</html>");
        if (line.rfind("GET /cgi-bin/mapserv?", 0) == 0) {
            int n = std::min(pages++, 1);
            return faultOk(replyPage(extents[n], n));
        }
        if (line.rfind("GET /tmp/ntdb", 0) == 0) {
            int n = std::min(images++, 1);
            Bytes gif = makeGif(480, 360, Bytes(480 * 360, static_cast<unsigned char>(colours[n])));
            return faultOk(std::string(gif.begin(), gif.end()), "image/gif");
        }
        return faultStatus(404, "Not Found", "<html>no</html>");
    });
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_ini.txt", "Server=" + server.root() + "/\n");
    ASSERT_EQ(1, app_create());
    EXPECT_EQ(0, settings()->online);
    TestSheet start;
    start.lat = kLat, start.lon = kLon, start.level = 2, start.width = 480, start.height = 360, start.index = 40;
    start.extent = extents[0];
    // Fetched in the background: a paint shows it once it is stored.
    EXPECT_TRUE(waitFor([&] {
        app_paint();
        return panePixel(0, 0) == static_cast<int>(start.colour());
    }));
    EXPECT_EQ(1, pages.load());
    char path[SHEET_PATH_MAX];
    sheet_path(path, sizeof path, "./Maps", kLat, kLon, 2, 0, SHEET_GIF);
    EXPECT_TRUE(std::filesystem::exists(path));

    // The probe thread found the server; the timer takes the program online.
    ASSERT_TRUE(waitFor([] { return connectivity_probe_result() == 1; }));
    app_timer();
    EXPECT_EQ(1, settings()->online);
    EXPECT_EQ(0, headless_menu_enabled(MENU_ONLINE));
    EXPECT_EQ(1, headless_menu_enabled(MENU_OFFLINE));

    setFix(kLat + 0.09, kLon);
    app_paint();
    TestSheet north = start;
    north.lat = kLat + kStep, north.index = 41, north.extent = extents[1];
    int px, py;
    EXPECT_TRUE(waitFor([&] {
        app_paint();
        return expectedPixel(north, kLat + 0.09, kLon, &px, &py) && markerAt(px, py, north.colour());
    }));
    EXPECT_LE(2, pages.load());        // the view's neighbours come too
    EXPECT_EQ(static_cast<int>(north.colour()), panePixel(240, 160));   // north of the vehicle
    // The busy cursor came and went around each download.
    auto cursor = headless_calls_of("busy_cursor");
    ASSERT_GE(cursor.size(), 4u);
    EXPECT_EQ(0, cursor.back().a);
}

// A probe site that accepts and never answers: the Online command returns
// at once with the window running, and exit cuts the probe short without
// leaving its file.
TEST_F(AppTest, OnlineAgainstASilentSiteNeverHoldsTheWindowAndExitCutsItShort) {
    FaultServer server([](const std::string&) { return faultRaw(FaultReply::HOLD, ""); });
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_ini.txt", "Probe=" + server.root() + "/online\nServer=http://127.0.0.1:1/\n");
    ASSERT_EQ(1, app_create());
    connectivity_probe_finish();       // only the command's probe talks to the site
    int before = server.requestCount();
    app_command(MENU_ONLINE);
    server.waitForRequests(before + 1);
    app_timer();
    EXPECT_EQ(1, online_probe_pending());
    EXPECT_EQ(0, settings()->online);
    EXPECT_TRUE(headless_calls_of("message_box").empty());
    char file[64];
    online_probe_file(file, sizeof file);
    app_close();
    app_destroy();
    EXPECT_EQ(0, online_probe_pending());
    EXPECT_FALSE(std::filesystem::exists(file));
}

namespace {

// Dialog hook of the Download Area tests: levels chosen, then the progress
// dialog waits for the end (or cancels at once).
int areaLevel = 3;
int areaRefresh = 0;
bool areaCancel = false;
FaultServer* areaServer = nullptr;   // Cancel waits until a transfer has reached it
DownloadAreaChoice areaShown{};
int areaDialog(int kind, void* state) {
    if (kind == PLATFORM_DIALOG_DOWNLOAD_AREA) {
        auto* c = static_cast<DownloadAreaChoice*>(state);
        areaShown = *c;
        for (int l = 0; l < ZOOM_LEVELS; l++) c->chosen[l] = l == areaLevel;
        c->refresh = areaRefresh;
        return 1;
    }
    auto* p = static_cast<DownloadAreaProgress*>(state);
    if (areaCancel) {
        if (areaServer) areaServer->waitForRequests(1);
        p->cancel();
        return 0;
    }
    waitFor([p] {
        app_timer();                   // the window's timer runs on under the modal dialog
        p->poll(p);
        return p->finished != 0;
    });
    return 1;
}

}  // namespace

// Gps > Download Area...: the level-3 sheets of the displayed level-2 sheet
// come from the server in the background, the progress dialog follows them
// and a summary ends it; a second run finds them all stored.
TEST_F(AppTest, DownloadAreaFetchesTheViewsSheetsAtTheChosenLevel) {
    std::atomic<int> images{0};
    FaultServer server([&](const std::string& line) -> FaultReply {
        if (line.rfind("GET /cgi-bin/mapserv?", 0) == 0) return faultOk(replyPage(extentFor(kLat, kLon), 1));
        if (line.rfind("GET /tmp/ntdb", 0) != 0) return faultStatus(404, "Not Found", "<html>no</html>");
        images++;
        Bytes gif = makeGif(480, 360, Bytes(480 * 360, 9));
        return faultOk(std::string(gif.begin(), gif.end()), "image/gif");
    });
    addSheet(kLat, kLon, 2, 0, 40);
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=" + server.root() + "/\n");
    ASSERT_EQ(1, app_create());
    headless_set_dialog_hook(areaDialog);
    areaLevel = 3, areaCancel = false;
    app_command(MENU_DOWNLOAD_AREA);
    int expected = areaShown.sheets[3];
    EXPECT_GE(expected, 12);           // a level-2 sheet spans several level-3 steps each way
    EXPECT_EQ(0, areaShown.stored[3]);
    EXPECT_EQ(expected, images.load());
    auto boxes = headless_calls_of("message_box");
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(std::string::npos, boxes.back().text.find(std::to_string(expected) + " sheets fetched"))
        << boxes.back().text;
    app_command(MENU_DOWNLOAD_AREA);
    EXPECT_EQ(expected, areaShown.stored[3]);
    EXPECT_EQ(expected, images.load());
    // "Refresh stored sheets" fetches them all again.
    areaRefresh = 1;
    app_command(MENU_DOWNLOAD_AREA);
    areaRefresh = 0;
    EXPECT_EQ(2 * expected, images.load());
}

// A stored sheet older than MaxAge= is shown, renewed in the background,
// and the new one replaces it on the pane once it has arrived.
TEST_F(AppTest, AStaleSheetIsShownThenRenewedInTheBackground) {
    std::mutex lock;
    std::condition_variable released;
    bool release = false;
    FaultServer server([&](const std::string& line) -> FaultReply {
        if (line.rfind("GET /cgi-bin/mapserv?", 0) == 0) return faultOk(replyPage(extentFor(kLat, kLon), 1));
        if (line.rfind("GET /tmp/ntdb", 0) != 0) return faultStatus(404, "Not Found", "<html>no</html>");
        std::unique_lock<std::mutex> g(lock);
        released.wait_for(g, std::chrono::seconds(10), [&] { return release; });
        Bytes gif = makeGif(480, 360, Bytes(480 * 360, 41));
        return faultOk(std::string(gif.begin(), gif.end()), "image/gif");
    });
    TestSheet old = addSheet(kLat, kLon, 2, 0, 40);
    char path[SHEET_PATH_MAX];
    sheet_path(path, sizeof path, "./Maps", old.lat, old.lon, 2, 0, SHEET_GIF);
    auto twoDaysAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
    std::filesystem::last_write_time(path, twoDaysAgo);
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nMaxAge=1\nServer=" + server.root() + "/\n");
    ASSERT_EQ(1, app_create());
    app_paint();
    EXPECT_EQ(static_cast<int>(old.colour()), panePixel(0, 0));
    server.waitForRequests(2);
    {
        std::lock_guard<std::mutex> g(lock);
        release = true;
    }
    released.notify_all();
    TestSheet renewed = old;
    renewed.index = 41;
    EXPECT_TRUE(waitFor([&] {
        app_timer();
        app_paint();
        return panePixel(0, 0) == static_cast<int>(renewed.colour());
    }));
}

// Cancel against a server that never answers: nothing more is started,
// the window runs on, and exit cuts the transfers in flight short without
// leaving a file behind.
TEST_F(AppTest, DownloadAreaCancelledAgainstASilentServerEndsCleanlyAtExit) {
    FaultServer server([](const std::string&) { return faultRaw(FaultReply::HOLD, ""); });
    addSheet(kLat, kLon, 2, 0, 40);
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=" + server.root() + "/\n");
    ASSERT_EQ(1, app_create());
    headless_set_dialog_hook(areaDialog);
    areaLevel = 4, areaCancel = true, areaServer = &server;
    app_command(MENU_DOWNLOAD_AREA);
    areaServer = nullptr;
    app_timer();
    EXPECT_EQ(1, download_area_running());
    app_close();
    app_destroy();
    EXPECT_EQ(0, download_area_running());
    EXPECT_LE(server.requestCount(), 2);   // two transfers at once, none after Cancel
    for (const auto& e : std::filesystem::recursive_directory_iterator("."))
        EXPECT_EQ(std::string::npos, e.path().filename().string().find("tmp")) << e.path();
}

// Above the limit Download Area asks first, with the count and the size;
// anything but yes fetches nothing.
TEST_F(AppTest, DownloadAreaOfManySheetsAsksFirst) {
    addSheet(kLat, kLon, 1, 0, 40);
    writeFile("kiv_ini.txt", "Init=1\nProbe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n");
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    headless_set_dialog_hook(areaDialog);
    areaLevel = 4, areaCancel = false;
    app_command(MENU_DOWNLOAD_AREA);
    ASSERT_GT(areaShown.sheets[4], 5000);
    auto boxes = headless_calls_of("message_box");
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(std::string::npos, boxes.back().text.find("Download them all?")) << boxes.back().text;
    EXPECT_TRUE(boxes.back().a & PLATFORM_MB_YESNO);
    EXPECT_EQ(0, download_area_running());
}

namespace {

// Downloads held past exit, as by a slow flush to a card: they wait until
// exit cuts the transfers short (the downloads' cancel), then read their
// settings.
std::mutex heldLock;
std::condition_variable heldChanged;
int heldInside = 0;
bool released = false;

void heldCancel(int cancel) {
    if (!cancel) return;
    std::lock_guard<std::mutex> g(heldLock);
    released = true;
    heldChanged.notify_all();
}

Result heldDownload(double, double, int, const AppSettings* s, char* out, int, int, int) {
    std::unique_lock<std::mutex> g(heldLock);
    heldInside++;
    heldChanged.notify_all();
    heldChanged.wait_for(g, std::chrono::seconds(30), [] { return released; });
    snprintf(out, SHEET_PATH_MAX, "%.*s", static_cast<int>(strlen(s->mapsDir)), s->mapsDir);
    heldInside--;
    heldChanged.notify_all();
    return result_fail("");
}

}  // namespace

// Exit while the sheet queue's worker and both Download Area workers are
// held in a download: exit waits for them, and none reads the freed record
// (the sanitizer build reports any such read).
TEST_F(AppTest, ExitWaitsForDownloadWorkersThatNeverReadTheFreedSettings) {
    addSheet(kLat, kLon, 2, 0, 40);
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    sheet_fetching_stop();
    sheet_download_hooks = SheetDownloadHooks{heldDownload, nullptr, heldCancel, nullptr};
    sheet_fetching_install(settings());
    char path[SHEET_PATH_MAX];
    double north = zoom_level_snap_latitude(kLat + 1, 2, 0), lon = zoom_level_snap_longitude(kLon, 2, 0);
    sheet_download_hooks.topoSheet(north, lon, 2, settings(), path, 0, 0, 0);
    headless_set_dialog_hook([](int kind, void* state) {
        if (kind == PLATFORM_DIALOG_DOWNLOAD_AREA) return areaDialog(kind, state);
        std::unique_lock<std::mutex> g(heldLock);   // progress: closed once all three are held
        heldChanged.wait_for(g, std::chrono::seconds(10), [] { return heldInside == 3; });
        return 0;
    });
    areaLevel = 3;
    app_command(MENU_DOWNLOAD_AREA);
    ASSERT_EQ(3, heldInside);
    app_close();
    app_destroy();
    std::lock_guard<std::mutex> g(heldLock);
    EXPECT_TRUE(released);
    EXPECT_EQ(0, heldInside);
}

// Online through a probe site that answers, with the map server out of
// reach, and a stored sheet at (kLat, kLon).
class AppOnlineTest : public AppTest {
protected:
    FaultServer probe{[](const std::string&) { return faultOk("<html>Toporama</html>"); }};
    void startOnline() {
        addSheet(kLat, kLon, 2, 0, 40);
        writeFile("kiv_com.txt", "COM0\nSmall\n");
        writeFile("kiv_ini.txt", "Probe=" + probe.root() + "/\nServer=http://127.0.0.1:1/\n");
        ASSERT_EQ(1, app_create());
        ASSERT_TRUE(waitFor([] { return connectivity_probe_result() == 1; }));
        app_timer();
        ASSERT_EQ(1, settings()->online);
        EXPECT_EQ(0, headless_menu_enabled(MENU_ONLINE));
        EXPECT_EQ(1, headless_menu_enabled(MENU_OFFLINE));
    }
    // The queue's downloads become these.
    void fetchWith(const SheetDownloadHooks& hooks) {
        sheet_fetching_stop();
        sheet_download_hooks = hooks;
        sheet_fetching_install(settings());
    }
};

namespace {

// Downloads that fail at once, the first held until the test lets it go,
// recording the sheets in the order the queue fetched them.
struct Asked {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<double, double>> sheets;
    bool holdFirst = true;
} asked;

Result recordedDownload(double lat, double lon, int, const AppSettings*, char*, int, int, int) {
    std::unique_lock<std::mutex> g(asked.lock);
    asked.sheets.emplace_back(lat, lon);
    asked.changed.notify_all();
    asked.changed.wait_for(g, std::chrono::seconds(10), [] { return !asked.holdFirst; });
    return result_fail("");
}

}  // namespace

// The view asks for its missing sheets while another is on its way: they
// come nearest the vehicle first, not the last asked for first.
TEST_F(AppOnlineTest, MissingSheetsOfTheViewAreFetchedNearestTheVehicleFirst) {
    startOnline();
    fetchWith(SheetDownloadHooks{recordedDownload, nullptr, nullptr, nullptr});
    double lat = kLat + 0.04, lon = kLon + 0.1;
    setFix(lat, lon);
    app_paint();
    {
        std::unique_lock<std::mutex> g(asked.lock);
        ASSERT_TRUE(asked.changed.wait_for(g, std::chrono::seconds(10), [] { return !asked.sheets.empty(); }));
        asked.holdFirst = false;
        asked.changed.notify_all();
    }
    SheetFetchRequest busy;
    ASSERT_TRUE(waitFor([&] { return !sheet_fetch_current(&busy); }));
    std::lock_guard<std::mutex> g(asked.lock);
    ASSERT_GE(asked.sheets.size(), 4u);
    double vx, vy, last = 0;
    ASSERT_TRUE(view_plane_from_degrees(map_view.extPlane, lat, lon, &vx, &vy));
    for (auto [sheetLat, sheetLon] : asked.sheets) {
        SheetExtent e = extentFor(sheetLat, sheetLon);
        double d = std::hypot(e.centreX - vx, e.centreY - vy);
        EXPECT_GE(d, last) << sheetLat << " " << sheetLon;
        last = d;
    }
}

// Download Area of a view across 180 degrees counts the sheets around it,
// not those of the whole band of latitude.
TEST_F(AppTest, DownloadAreaAcross180DegreesCountsTheSheetsOfTheView) {
    addSheet(52, 179.995, 4, 0, 40);
    writeFile("kiv_pos.txt", "N  52 00 00\nE 179 59 42\n");
    writeFile("kiv_ini.txt", "Init=4\nProbe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n");
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    ASSERT_EQ(1, app_create());
    headless_set_dialog_hook([](int kind, void* state) {
        if (kind == PLATFORM_DIALOG_DOWNLOAD_AREA) areaShown = *static_cast<DownloadAreaChoice*>(state);
        return 0;
    });
    areaShown = DownloadAreaChoice{};
    app_paint();
    app_command(MENU_DOWNLOAD_AREA);
    EXPECT_GE(areaShown.sheets[4], 1);
    EXPECT_LE(areaShown.sheets[4], 16);
}

namespace {

std::atomic<int> plainFetches{0}, refetches{0};

// The queue's downloads: a stored sheet is found and reported fetched;
// others are not to be had.
Result foundStored(double lat, double lon, int level, const AppSettings* s, char* out, int big, int, int) {
    sheet_path(out, SHEET_PATH_MAX, s->mapsDir, lat, lon, level, big, SHEET_GIF);
    if (!std::filesystem::exists(out)) return result_fail("");
    plainFetches++;
    return result_ok();
}

}  // namespace

// A stored neighbour that does not decode is fetched afresh, once, and
// drawn when the new one is whole.
TEST_F(AppOnlineTest, AStoredSheetThatDoesNotDecodeIsFetchedAfreshOnce) {
    char broken[SHEET_PATH_MAX];
    double north = zoom_level_snap_latitude(kLat + kStep, 2, 0), lon = zoom_level_snap_longitude(kLon, 2, 0);
    ASSERT_EQ(1, sheet_path(broken, sizeof broken, "./Maps", north, lon, 2, 0, SHEET_GIF));
    std::filesystem::create_directories(std::filesystem::path(broken).parent_path());
    writeFile(broken, "GIF89a cut short");
    startOnline();
    fetchWith(SheetDownloadHooks{foundStored, nullptr, nullptr, [](int, double lat, double lon, int level,
                                                                   const AppSettings* s, char* out, int big, int, int) {
        refetches++;
        addSheetAt(lat, lon, level, big, 41);
        sheet_path(out, SHEET_PATH_MAX, s->mapsDir, lat, lon, level, big, SHEET_GIF);
        return result_ok();
    }});
    setFix(kLat + 0.06, kLon);
    TestSheet fresh;
    fresh.lat = north, fresh.lon = lon, fresh.level = 2, fresh.width = 480, fresh.height = 360, fresh.index = 41;
    int px, py;
    EXPECT_TRUE(waitFor([&] {
        app_paint();
        app_timer();
        return expectedPixel(fresh, kLat + 0.14, lon, &px, &py) &&
               panePixel(px, py) == static_cast<int>(fresh.colour());
    }));
    for (int frame = 0; frame < 5; frame++) app_paint();
    EXPECT_EQ(1, refetches.load());
    EXPECT_EQ(0, plainFetches.load());
}

namespace {

bool drawn(const std::string& text) {
    for (const HeadlessCall& c : headless_calls_of("draw_text"))
        if (c.text.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

// A map server that does not answer: the pane says so, and its sheets are
// marked failed, not loading.
TEST_F(AppOnlineTest, AMapServerThatDoesNotAnswerIsSaidOnThePane) {
    startOnline();
    setFix(kLat + 0.04, kLon + 0.1);
    EXPECT_TRUE(waitFor([] {
        headless_reset();
        app_paint();
        return drawn("map server not answering: 127.0.0.1:1, retrying") && drawn("failed") && !drawn("loading");
    }));
}

// Offline with no sheet stored where the vehicle is: the pane names the
// vehicle's place, says offline, and the marker is drawn.
TEST_F(AppTest, OfflineWithNothingStoredThePaneFollowsTheVehicle) {
    writeFile("kiv_com.txt", "COM0\nSmall\n");
    writeFile("kiv_ini.txt", "Init=2\nProbe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n");
    ASSERT_EQ(1, app_create());
    double lat = kLat + 1.03, lon = kLon + 1.02, sheetLat, sheetLon;
    setFix(lat, lon);
    headless_reset();
    app_paint();
    const MapView& v = map_view;
    const char* why;
    ASSERT_NE(VIEW_PLANE_NONE, world_grid_snap(lat, lon, 2, 0, &sheetLat, &sheetLon, &why));
    char where[96];
    app_format_degrees(where, sizeof where, sheetLat, sheetLon);
    EXPECT_TRUE(drawn(where)) << where;
    EXPECT_TRUE(drawn("Offline"));
    double x, y;
    ASSERT_TRUE(view_plane_from_degrees(v.extPlane, lat, lon, &x, &y));
    int px = static_cast<int>(std::floor(v.imageWidth * (x - v.extMinX) / (v.extMaxX - v.extMinX)));
    int py = v.imageHeight - 1 -
             static_cast<int>(std::floor(v.imageHeight * (y - v.extMinY) / (v.extMaxY - v.extMinY)));
    EXPECT_TRUE(markerAt(px, py, kAnyGround)) << px << "," << py;
}
