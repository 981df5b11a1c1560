// The user's waypoints: the file, the search and the names on the view.
#include <sys/wait.h>

#include "app/track_overlay.h"
#include "app/waypoint_commands.h"
#include "app/waypoint_list.h"
#include "app/waypoints.h"
#include "app_test_support.h"
#include "settings/atomic_file.h"

namespace {

constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0);

int run(const std::string& command) {
    int rc = system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

GpxWaypoint waypoint(const char* name, double lat = kLat, double lon = kLon) {
    return GpxWaypoint{lat, lon, name, GPX_TIME_UNKNOWN, NAN, "", ""};
}

void writeWaypoints(const std::vector<GpxWaypoint>& list) {
    std::string text = gpx_waypoints_document(list);
    ASSERT_EQ(1, write_file_atomically(WAYPOINTS_FILE, text.data(), text.size()));
}

std::vector<std::string> namesIn(const char* path) {
    GpxData data;
    EXPECT_EQ(1, gpx_read_file(path, &data));
    std::vector<std::string> names;
    for (const GpxWaypoint& w : data.waypoints) names.push_back(w.name);
    return names;
}

class WaypointsTest : public AppTest {
protected:
    void create() {
        writeFile("kiv_com.txt", "COM0\nSmall\n");
        home = addSheet(kLat, kLon, 2, 0, 40);
        ASSERT_EQ(1, app_create());
    }
    bool named(const std::string& name) {
        auto said = headless_calls_of("draw_text");
        return std::any_of(said.begin(), said.end(), [&](const HeadlessCall& c) { return c.text == name; });
    }
    TestSheet home;
};

}  // namespace

TEST_F(WaypointsTest, FileReadsBackThroughGpsbabelWithEveryField) {
    if (run("command -v gpsbabel") || run("command -v xmllint")) GTEST_SKIP() << "gpsbabel or xmllint missing";
    WaypointStore store;
    ASSERT_EQ(1, waypoint_store_load(&store, WAYPOINTS_FILE, nullptr));
    store.list = {GpxWaypoint{45.4215, -75.6972, "Café <Hull> & \"Aylmer\"", 1700000000, 70.5, "Flag, Blue", "Åsa's"},
                  // gpsbabel gives a waypoint without a comment its name as one
                  GpxWaypoint{-33.8568, 151.2153, "WPT002", GPX_TIME_UNKNOWN, NAN, "", "Opera"}};
    std::string why;
    ASSERT_EQ(1, waypoint_store_save(&store, &why)) << why;
    EXPECT_EQ(0, run("xmllint --noout waypoints.gpx"));
    ASSERT_EQ(0, run("gpsbabel -i gpx -f waypoints.gpx -o gpx -F back.gpx"));
    GpxData back;
    ASSERT_EQ(1, gpx_read_file("back.gpx", &back, &why)) << why;
    ASSERT_EQ(2u, back.waypoints.size());
    for (size_t i = 0; i < 2; i++) EXPECT_TRUE(waypoint_same(store.list[i], back.waypoints[i])) << i;
}

// The user deleted A and marked C while another program renamed B and
// added D: the file gets all four changes.
TEST_F(WaypointsTest, AnotherProgramsChangesAreKeptWhenKivWrites) {
    writeWaypoints({waypoint("A"), waypoint("B")});
    WaypointStore store;
    ASSERT_EQ(1, waypoint_store_load(&store, WAYPOINTS_FILE, nullptr));
    store.list.erase(store.list.begin());
    store.list.push_back(waypoint("C"));
    writeWaypoints({waypoint("A"), waypoint("B2"), waypoint("D")});
    std::string why;
    ASSERT_EQ(1, waypoint_store_save(&store, &why)) << why;
    EXPECT_EQ((std::vector<std::string>{"B2", "D", "C"}), namesIn(WAYPOINTS_FILE));
}

// A file that does not read is refused with its reason and never written.
TEST_F(WaypointsTest, BadFileIsLeftAsItWasAndSaysWhy) {
    const char* gpx = "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\">";
    struct Case {
        std::string text, why;
    } cases[] = {
        {std::string(gpx) + "\n<wpt lat=\"1\" lon=\"2\"><name>A</wpt></gpx>", "line 2: mismatched tag"},
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [<!ENTITY a \"aaaa\">]>\n<gpx/>", "line 2: entity"},
        {"<kml/>", "<kml>, not <gpx>"},
        {std::string(gpx) + "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>", "tracks or routes"},
    };
    for (const Case& c : cases) {
        writeFile(WAYPOINTS_FILE, c.text);
        headless_reset();
        create();
        waypoint_mark(kLat, kLon, "New");
        auto warned = headless_calls_of("message_box");
        ASSERT_EQ(2u, warned.size()) << c.why;
        EXPECT_NE(std::string::npos, warned[0].text.find(c.why)) << warned[0].text;
        EXPECT_NE(std::string::npos, warned[1].text.find("not saved")) << warned[1].text;
        EXPECT_EQ(c.text, readFile(WAYPOINTS_FILE));
        app_close();
        app_destroy();
    }
}

TEST_F(WaypointsTest, SearchFoldsCaseAndAccentsAndMatchesAWordsBeginning) {
    struct Case {
        const char *name, *text;
        bool found;
    } cases[] = {
        {"Montréal", "montreal", true},        {"MONTREAL", "Montréal", true},
        {"Goethestraße", "goethestrasse", true}, {"Goethestraße", "Goethestr", true},
        {"Rue Saint-Denis", "denis", true},    {"Rue Saint-Denis", "enis", false},
        {"Ærøskøbing Havn", "aeroskobing h", true}, {"Montréal", "real", false},
    };
    for (const Case& c : cases) {
        app_waypoints.store = WaypointStore{};
        app_waypoints.store.list = {waypoint(c.name)};
        std::vector<PlaceMatch> found;
        waypoint_search(c.text, &found);
        EXPECT_EQ(c.found ? 1u : 0u, found.size()) << c.name << " / " << c.text;
    }
}

// Two names that would overlap: the one nearer the vehicle is drawn, and
// the other once the vehicle is nearer to it; a name apart is always drawn.
TEST_F(WaypointsTest, OverlappingNamesKeepTheOneNearestTheVehicle) {
    writeWaypoints({waypoint("West", kLat, kLon - 0.0005), waypoint("East", kLat, kLon + 0.0005),
                    waypoint("Apart", kLat + 0.05, kLon)});
    create();
    setFix(kLat, kLon - 0.03);
    app_paint();
    EXPECT_TRUE(named("West") && named("Apart"));
    EXPECT_FALSE(named("East"));
    int px, py;
    ASSERT_TRUE(expectedPixel(home, kLat + 0.05, kLon, &px, &py));
    EXPECT_EQ(0xFF1493, panePixel(px, py));
    headless_reset();
    setFix(kLat, kLon + 0.03, "2025/05/08 12:00:05");
    app_paint();
    EXPECT_TRUE(named("East") && named("Apart"));
    EXPECT_FALSE(named("West"));
}

// W without a fix says why and marks nothing; with one the name offered is
// kept and the file gets the position, time and height. Ctrl+click marks
// the point under the pointer instead of zooming.
TEST_F(WaypointsTest, MarkAtTheVehicleOrWithCtrlClick) {
    create();
    app_key_down(APP_KEY_WAYPOINT_MARK, 0);
    auto said = headless_calls_of("message_box");
    ASSERT_EQ(1u, said.size());
    EXPECT_NE(std::string::npos, said[0].text.find("no receiver")) << said[0].text;
    settings()->connected = 1;
    setFix(kLat, kLon);
    gps_set_altitude(120);
    app_key_down(APP_KEY_WAYPOINT_MARK, 0);
    app_paint();
    int level = map_view.zoomLevel;
    app_mouse_down(APP_BUTTON_LEFT, kPaneX + 40, kPaneY + 30, 0, 1);
    app_mouse_up(APP_BUTTON_LEFT, kPaneX + 40, kPaneY + 30);
    EXPECT_EQ(level, map_view.zoomLevel);
    settings()->connected = 0;
    GpxData file;
    ASSERT_EQ(1, gpx_read_file(WAYPOINTS_FILE, &file));
    ASSERT_EQ(2u, file.waypoints.size());
    const GpxWaypoint &vehicle = file.waypoints[0], &clicked = file.waypoints[1];
    EXPECT_EQ("WPT001", vehicle.name);
    EXPECT_NEAR(kLat, vehicle.lat, 1e-6);
    EXPECT_NEAR(kLon, vehicle.lon, 1e-6);
    EXPECT_EQ(120, vehicle.ele);
    EXPECT_EQ(kStartClock, vehicle.time);
    EXPECT_EQ("WPT002", clicked.name);
    EXPECT_GT(clicked.lat, kLat);
    EXPECT_LT(clicked.lon, kLon);
}

// Import adds the waypoints not there yet; Export writes them all.
TEST_F(WaypointsTest, ImportAddsTheNewOnesAndExportWritesAll) {
    writeWaypoints({waypoint("Mine")});
    writeFile("other.gpx", gpx_waypoints_document({waypoint("Mine"), waypoint("Theirs", kLat + 0.01, kLon)}));
    create();
    headless_set_open_file((dir / "other.gpx").string());
    app_command(MENU_WAYPOINT_IMPORT);
    EXPECT_EQ((std::vector<std::string>{"Mine", "Theirs"}), namesIn(WAYPOINTS_FILE));
    headless_set_dialog_hook([](int kind, void* state) {
        if (kind == WAYPOINT_DIALOG_SAVE_FILE) static_cast<WaypointFileDialog*>(state)->path = "out.gpx";
        return 1;
    });
    app_command(MENU_WAYPOINT_EXPORT);
    headless_set_dialog_hook(nullptr);
    EXPECT_EQ((std::vector<std::string>{"Mine", "Theirs"}), namesIn("out.gpx"));
}

// The list: nearest the vehicle first, an opened file's waypoints with
// their file, the filter folded; Rename changes the user's own in the file.
TEST_F(WaypointsTest, ListIsNearestFirstAndRenamesTheUsersOwn) {
    writeWaypoints({waypoint("Far", kLat + 0.1, kLon), waypoint("Near", kLat + 0.01, kLon)});
    writeFile("trip.gpx", gpx_waypoints_document({waypoint("Café", kLat + 0.05, kLon)}));
    create();
    ASSERT_EQ(1, track_overlay_open("trip.gpx"));
    setFix(kLat, kLon);
    static std::vector<std::vector<WaypointRow>> listed;
    listed.clear();
    headless_set_dialog_hook([](int kind, void* state) {
        if (kind == WAYPOINT_DIALOG_NAME) static_cast<WaypointNameDialog*>(state)->name = "Renamed";
        if (kind != WAYPOINT_DIALOG_LIST) return 1;
        auto* d = static_cast<WaypointListDialog*>(state);
        listed.push_back(d->rows);
        if (listed.size() > 1) return static_cast<int>(WAYPOINT_ACTION_CLOSE);
        EXPECT_EQ(std::vector<int>{1}, waypoint_list_shown(*d, "cafe"));
        d->chosen = 2;
        return static_cast<int>(WAYPOINT_ACTION_RENAME);
    });
    app_key_down(APP_KEY_WAYPOINT_LIST, 0);
    headless_set_dialog_hook(nullptr);
    ASSERT_EQ(2u, listed.size());
    std::vector<std::string> names, files;
    for (const WaypointRow& r : listed[1]) names.push_back(r.name), files.push_back(r.file);
    EXPECT_EQ((std::vector<std::string>{"Near", "Café", "Renamed"}), names);
    EXPECT_EQ((std::vector<std::string>{"", "trip.gpx", ""}), files);
    EXPECT_EQ((std::vector<std::string>{"Renamed", "Near"}), namesIn(WAYPOINTS_FILE));
}

TEST_F(WaypointsTest, ImpossibleCoordinatesAreRefused) {
    create();
    const double places[][2] = {{90.5, 0}, {0, -180.5}, {NAN, 0}, {0, INFINITY}};
    for (const auto& p : places) waypoint_mark(p[0], p[1], "Nowhere");
    auto said = headless_calls_of("message_box");
    ASSERT_EQ(4u, said.size());
    for (const HeadlessCall& c : said) EXPECT_NE(std::string::npos, c.text.find("not on the earth")) << c.text;
    EXPECT_FALSE(std::filesystem::exists(WAYPOINTS_FILE));
}
