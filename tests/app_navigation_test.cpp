// Navigation on the headless window: auto-pan, pans, clicks, levels and
// auto-zoom, judged by the sheet the blitted frame shows.
#include "app/navigation.h"
#include "app/toolbar_bitmaps.h"
#include "app/view_zoom.h"
#include "app/view_zoom_auto.h"
#include "app/view_pane.h"
#include "maps/view_compose.h"
#include "maps/view_plane.h"
#include "maps/view_scale.h"
#include "nav/coordinate_text.h"
#include "app_test_support.h"
#include "settings/menu_ids.h"

namespace {

constexpr double kStep2 = 1 / 6.0;       // level 2 grid step
constexpr double kLat = 45.5, kLon = -(75 + 40 / 60.0);   // default start sheet at level 2

// Level i's face at its button in the last frame is the pressed one.
bool levelPressed(int level) {
    const int x[] = {254, 299, 344, 389, 434};
    const unsigned char* face = toolbar_bitmap(BITMAP_LEVEL_PRESSED + level);
    for (int r = 0; r < 32; r++)
        for (int c = 0; c < 32; c++) {
            const unsigned char* p = face + (r * 32 + c) * 3;
            if (headless_frame_pixel(x[level] + c, 6 + r) != ((p[0] << 16) | (p[1] << 8) | p[2])) return false;
        }
    return true;
}

class AppNavigationTest : public AppTest {
protected:
    void create(const char* comFile = "COM0\nSmall\n", const std::string& ini = "") {
        writeFile("kiv_com.txt", comFile);
        writeFile("kiv_ini.txt", "Probe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n" + ini);
        ASSERT_EQ(1, app_create());
        app_paint();
    }
    // The view is centred on sheet t: its colour in the pane's middle.
    static bool shows(const TestSheet& t) {
        return panePixel(map_view.paneWidth / 2, map_view.paneHeight / 2) == static_cast<int>(t.colour());
    }
    // The toolbar's pan buttons step through the grid's sheets.
    static void key(int k, int shift = 0) {
        const int x[] = {0, 67, 110, 153, 196};   // west, north, south, east
        app_mouse_down(APP_BUTTON_LEFT, x[k] + 16, 20, shift);
        app_paint();
    }
    static void click(int button, int x, int y) {
        app_mouse_down(button, x, y, 0);
        app_mouse_up(button, x, y);
        app_paint();
    }
    static ViewRecord view() {
        app_paint();
        ViewRecord r{};
        EXPECT_EQ(1, view_pane_current(&r));
        return r;
    }
    // The plane point in the middle of client pixel (x, y).
    static void planeAt(const ViewRecord& r, int x, int y, double* px, double* py) {
        view_screen_to_plane(r, x - kPaneX + 0.5, y - kPaneY + 0.5, px, py);
    }
};

}  // namespace

// Auto Pan keeps the vehicle drawn well inside the pane (never within 10%
// of an edge) on a drive across the corner where four sheets meet, and at
// grid positions whose snapped sheet does not hold the vehicle at all.
TEST_F(AppNavigationTest, AutoPanKeepsTheVehicleWellInsideThePane) {
    TestSheet home = addSheet(kLat, kLon, 2, 0, 40);
    addSheet(kLat + kStep2, kLon, 2, 0, 41);
    addSheet(kLat, kLon + kStep2, 2, 0, 42);
    addSheet(kLat + kStep2, kLon + kStep2, 2, 0, 43);
    struct Place {
        int level;
        double lat, lon;
    };
    const Place corners[] = {{3, 45.3252, -75.8748}, {1, 44.502, -76.498}, {0, 43.6532, -79.3832}};
    for (const Place& c : corners) addSheet(c.lat, c.lon, c.level, 0, 44);
    create();
    auto inside = [&](double lat, double lon) {
        int px, py, w = map_view.paneWidth, h = map_view.paneHeight;
        return expectedPixel(home, lat, lon, &px, &py) && markerAt(px, py, kAnyGround) && px >= w / 10 &&
               px < w - w / 10 && py >= h / 10 && py < h - h / 10;
    };
    for (int i = 0; i <= 40; i++) {
        double lat = kLat + i * kStep2 / 40, lon = kLon + i * kStep2 / 40;
        setFix(lat, lon);
        app_paint();
        EXPECT_TRUE(inside(lat, lon)) << i;
    }
    for (const Place& c : corners) {
        setFix(c.lat, c.lon);
        nav_level(c.level);
        app_paint();
        EXPECT_EQ(c.level, map_view.zoomLevel);
        EXPECT_TRUE(inside(c.lat, c.lon)) << c.level;
    }
}

// A drive south across 40 N leaves the Canadian grid: the view switches once
// to the Web Mercator plane and its stored sheets, the marker staying on the
// vehicle on both sides; beyond every grid the pane says so.
TEST_F(AppNavigationTest, AutoPanCrossesFromTheCanadianGridIntoWebMercator) {
    const double lon = -75.7;
    auto latAt = [](int i) { return 40.5 - i * 0.04; };
    // Near the grid's edge the pane reaches beyond its sheets and stands in
    // Web Mercator already: the sheets of both planes are stored.
    double stepX, stepY;
    world_grid_mercator_steps(2, 0, &stepX, &stepY);
    for (int i = 0; i <= 25; i++) {
        double x, y, mLat, mLon;
        ASSERT_TRUE(world_grid_to_mercator(latAt(i), lon, &x, &y) &&
                    world_grid_mercator_point(std::round(x / stepX) * stepX, std::round(y / stepY) * stepY, &mLat, &mLon));
        addSheetAt(mLat, mLon, 2, 0, 41);
        if (view_plane_of_sheet(latAt(i), lon, 2, 0) == VIEW_PLANE_CANADA_LAMBERT) addSheet(latAt(i), lon, 2, 0, 40);
    }
    create();
    int last = 0, switches = 0;
    for (int i = 0; i <= 25; i++) {
        setFix(latAt(i), lon);
        app_paint();
        ViewRecord view;
        int px, py;
        ASSERT_TRUE(view_pane_current(&view) && view_position_pixel(view, latAt(i), lon, &px, &py)) << i;
        EXPECT_EQ(view_plane_at(latAt(i), lon, 2, 0, map_view.paneWidth, map_view.paneHeight), view.plane) << i;
        switches += last && view.plane != last;
        last = view.plane;
        EXPECT_TRUE(markerAt(px, py, kAnyGround)) << i;   // on the sheet of its plane
        TestSheet ground{0, 0, 0, 0, 0, view.plane == VIEW_PLANE_CANADA_LAMBERT ? 40 : 41};
        EXPECT_EQ(static_cast<int>(ground.colour()), panePixel(px + 8, py)) << i;
    }
    EXPECT_EQ(VIEW_PLANE_WEB_MERCATOR, last);
    EXPECT_EQ(1, switches);

    setFix(88, 20);
    app_paint();
    auto said = headless_calls_of("draw_text");
    EXPECT_TRUE(std::any_of(said.begin(), said.end(), [](auto& t) { return t.text.find("No map grid") == 0; }));
}

// The arrow buttons move the view as the cursor keys do: a quarter of the
// pane, a whole one with Shift, on small and big maps alike; Auto Pan goes
// off.
static void expectArrowButtonsPanAsTheCursorKeys() {
    const int buttonX[] = {0, 67, 110, 153, 196};   // west, north, south, east
    struct Case {
        int key, shift;
        double dx, dy;                    // panes east and north
    } cases[] = {{APP_KEY_LEFT, 0, -0.25, 0}, {APP_KEY_UP, 0, 0, 0.25},   {APP_KEY_DOWN, 1, 0, -1},
                 {APP_KEY_RIGHT, 1, 1, 0},    {APP_KEY_DOWN, 0, 0, -0.25}, {APP_KEY_UP, 1, 0, 1}};
    for (const Case& c : cases) {
        ViewRecord before{}, after{};
        app_paint();
        ASSERT_TRUE(view_pane_current(&before));
        app_mouse_down(APP_BUTTON_LEFT, buttonX[c.key] + 16, 20, c.shift);
        app_paint();
        ASSERT_TRUE(view_pane_current(&after));
        EXPECT_EQ(2, after.level) << c.key;
        EXPECT_NEAR(after.cx - before.cx, c.dx * before.width * before.mpp, 1e-6) << c.key << c.shift;
        EXPECT_NEAR(after.cy - before.cy, c.dy * before.height * before.mpp, 1e-6) << c.key << c.shift;
    }
    EXPECT_EQ(0, headless_menu_checked(MENU_AUTO_PAN));
}

TEST_F(AppNavigationTest, PansWithAndWithoutShiftOnSmallMaps) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    expectArrowButtonsPanAsTheCursorKeys();
    EXPECT_EQ(0, settings()->autoPan);
}

TEST_F(AppNavigationTest, PansOnBigMapsMoveAsOnSmallOnes) {
    addSheet(kLat, kLon, 2, 1, 40);
    create("COM0\nBig\n");
    expectArrowButtonsPanAsTheCursorKeys();
}

TEST_F(AppNavigationTest, ClicksOnButtonEdgesHitNothing) {
    TestSheet home = addSheet(kLat, kLon, 2, 0, 40);
    create();
    app_command(MENU_AUTO_PAN);         // auto-pan off
    ASSERT_EQ(0, settings()->autoPan);
    for (int x : {14, 46}) {
        click(APP_BUTTON_LEFT, x, 20);
        EXPECT_EQ(0, settings()->autoPan) << x;
    }
    for (int y : {5, 38}) {
        click(APP_BUTTON_LEFT, 30, y);
        EXPECT_EQ(0, settings()->autoPan) << y;
    }
    for (int x : {67, 99}) {
        click(APP_BUTTON_LEFT, x, 20);
        EXPECT_TRUE(shows(home)) << x;
    }
    click(APP_BUTTON_LEFT, 15, 6);
    EXPECT_EQ(1, settings()->autoPan);
    EXPECT_EQ(1, headless_menu_checked(MENU_AUTO_PAN));
    ViewRecord before = view();
    click(APP_BUTTON_LEFT, 68, 37);       // west
    ViewRecord after = view();
    EXPECT_LT(after.cx, before.cx);
    // Right clicks outside the pane do nothing either.
    click(APP_BUTTON_RIGHT, 300, 20);
    ViewRecord still = view();
    EXPECT_EQ(after.cx, still.cx);
    EXPECT_EQ(after.level, still.level);
}

// At the finest level a click has no finer scale to go to, at the coarsest
// a right click none coarser: the view stays as it was.
TEST_F(AppNavigationTest, ZoomInAtTheFinestLevelStaysThere) {
    writeFile("kiv_pos.txt", "N 45 25 00\nW 75 42 00\n");
    TestSheet here = addSheet(45 + 25 / 60.0, -75.7, 4, 0, 60);
    create("COM0\nSmall\n", "Init=4\n");
    ASSERT_TRUE(shows(here));
    ViewRecord before = view();
    click(APP_BUTTON_LEFT, APP_PANE_X + 240, APP_PANE_Y + 3);
    ViewRecord after = view();
    EXPECT_TRUE(levelPressed(4));
    EXPECT_EQ(before.cx, after.cx);
    EXPECT_EQ(before.cy, after.cy);
    EXPECT_EQ(1, settings()->autoPan);   // a click that does not pan keeps following
}

TEST_F(AppNavigationTest, ZoomOutAtTheCoarsestLevelStaysThere) {
    // Far enough north that the Canadian 1:10M sheets fill the pane.
    TestSheet here = addSheet(60, -90, 0, 0, 70);
    writeFile("kiv_pos.txt", "N 60 00 00\nW 90 00 00\n");
    create("COM0\nSmall\n", "Init=0\n");
    ASSERT_TRUE(shows(here));
    ViewRecord before = view();
    click(APP_BUTTON_RIGHT, APP_PANE_X + 400, APP_PANE_Y + 20);
    ViewRecord after = view();
    EXPECT_TRUE(shows(here));
    EXPECT_TRUE(levelPressed(0));
    EXPECT_EQ(before.cx, after.cx);
}

// With Auto Pan on (no fix yet) the zooms keep the centre: out and back in
// come back to the same view.
TEST_F(AppNavigationTest, ZoomOutAndInMoveOneLevel) {
    TestSheet home = addSheet(kLat, kLon, 2, 0, 40);
    TestSheet coarse = addSheet(kLat, kLon, 1, 0, 45);
    create();
    ViewRecord start = view();
    click(APP_BUTTON_RIGHT, 100, 100);
    EXPECT_TRUE(shows(coarse));
    EXPECT_TRUE(levelPressed(1));
    click(APP_BUTTON_LEFT, APP_PANE_X + 240, APP_PANE_Y + 180);
    EXPECT_TRUE(levelPressed(2));
    EXPECT_TRUE(shows(home));
    ViewRecord back = view();
    EXPECT_NEAR(start.cx, back.cx, 1e-6);
    EXPECT_NEAR(start.cy, back.cy, 1e-6);
}

TEST_F(AppNavigationTest, LevelButtonJumpsAroundTheSheetCentre) {
    TestSheet home = addSheet(kLat, kLon, 2, 0, 40);
    TestSheet level1 = addSheet(kLat, kLon, 1, 0, 46);
    create();
    click(APP_BUTTON_LEFT, 299 + 16, 20);
    EXPECT_TRUE(shows(level1));
    EXPECT_TRUE(levelPressed(1));
    click(APP_BUTTON_LEFT, 344 + 16, 20);   // back in: towards the last chosen point
    EXPECT_TRUE(shows(home));
    EXPECT_TRUE(levelPressed(2));
}

// Panning offline past the stored sheets keeps the level: where nothing is
// stored at it the pane is hatched, a coarser sheet is not taken instead.
TEST_F(AppNavigationTest, OfflinePanIntoAHoleKeepsTheLevel) {
    writeFile("kiv_pos.txt", "N 45 25 00\nW 75 42 00\n");
    TestSheet here = addSheet(45 + 25 / 60.0, -75.7, 4, 0, 60);
    addSheet(here.lat, here.lon + 1 / 60.0, 3, 0, 80);   // coarser, east
    create("COM0\nSmall\n", "Init=4\n");
    ASSERT_TRUE(shows(here));
    key(APP_KEY_RIGHT, 1);
    key(APP_KEY_RIGHT, 1);
    EXPECT_TRUE(levelPressed(4));
    int edge = panePixel(map_view.paneWidth - 2, map_view.paneHeight / 2);
    EXPECT_TRUE(edge == VIEW_HATCH_GROUND * 0x010101 || edge == VIEW_HATCH_LINE * 0x010101) << std::hex << edge;
}

// Auto Zoom by speed: a band's scale is taken once the speed has stayed in
// it for the hold, so a short burst changes nothing; offline, a band whose
// level has no sheet stored under the vehicle gives way to a coarser one.
TEST_F(AppNavigationTest, AutoZoomFollowsTheSpeedWithHysteresis) {
    const double lat = 45.43, lon = -75.69;
    addSheet(kLat, kLon, 2, 0, 40);
    addSheet(lat, lon, 3, 0, 81);
    addSheet(lat, lon, 4, 0, 82);
    create();
    settings()->autoZoom = 1;
    const double finest = view_level_mpp(4, 0);
    struct Step {
        double kmh;
        int seconds;                   // on the clock before the paint
        double ofFinest;               // the view's scale then
    } steps[] = {{10, 0, 1}, {100, 0, 1}, {100, 3, 1}, {100, 1, 5}, {10, 1, 5}, {100, 2, 5},
                 {40, 1, 5}, {40, 4, 1.75}, {150, 0, 1.75}, {150, 4, 10}};
    for (const Step& st : steps) {
        headless_advance_clock(st.seconds);
        setFix(lat, lon, "2025/05/08 12:00:00", st.kmh / 1.852);
        EXPECT_NEAR(st.ofFinest * finest, view().mpp, 1e-6 * finest) << st.kmh << " km/h";
    }
    // Slow where only the 1:200,000 sheet is stored: that sheet's own scale.
    for (int seconds : {1, 4}) {
        headless_advance_clock(seconds);
        setFix(45.55, -75.60, "2025/05/08 12:00:00", 10 / 1.852);
    }
    EXPECT_NEAR(view_level_mpp(2, 0), view().mpp, 1e-6 * finest);
    EXPECT_TRUE(levelPressed(2));
}

TEST_F(AppNavigationTest, MapCoordinatesPutThePointerPositionInTheTitle) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    settings()->mapCoordinates = 1;
    app_mouse_move(APP_PANE_X + 240, APP_PANE_Y + 180);    // the pane's centre is the sheet's centre
    app_paint();
    EXPECT_EQ("KIV - N 45\xC2\xB0" "30'00\" / W 75\xC2\xB0" "40'00\"", headless_title());
    app_mouse_move(APP_PANE_X + 240, APP_PANE_Y + 0);
    app_paint();
    EXPECT_EQ(0u, headless_title().find("KIV - N 45\xC2\xB0" "36'"));   // the top edge, 12.7 km north
    app_mouse_move(300, 20);              // over the toolbar: the sheet centre again
    app_paint();
    EXPECT_EQ("KIV - N 45\xC2\xB0" "30'00\" / W 75\xC2\xB0" "40'00\"", headless_title());
    // Full screen has no title: the fix strip says where the pointer is.
    app_key_down(APP_KEY_FULL_SCREEN, 0);
    app_mouse_move(APP_PANE_X + 240, APP_PANE_Y + 180);
    app_paint();
    auto said = headless_calls_of("draw_text");
    EXPECT_TRUE(std::any_of(said.begin(), said.end(), [](auto& t) {
        double lat, lon;
        std::string why;
        return t.text.rfind("Pointer ", 0) == 0 && coordinate_text_parse(t.text.substr(8), &lat, &lon, &why) == 1 &&
               std::fabs(lat - kLat) < 1e-3 && std::fabs(lon - kLon) < 1e-3;
    }));
}

TEST_F(AppNavigationTest, BigMapsSwapShowsTheSameSheetInTheOtherSize) {
    TestSheet small = addSheet(kLat, kLon, 2, 0, 40);
    TestSheet big = addSheet(kLat, kLon, 2, 1, 48);
    create();
    ASSERT_TRUE(shows(small));
    app_moved();                          // a move without a size change: nothing
    app_paint();
    EXPECT_TRUE(shows(small));
    settings()->bigMaps = 1;              // toggled: the big sheets, the window as it is
    app_paint();
    EXPECT_TRUE(shows(big));
    EXPECT_TRUE(headless_calls_of("resize_client").empty());
    app_size(722, 591);                   // the user makes the window larger
    app_paint();
    EXPECT_TRUE(shows(big));
    EXPECT_EQ(0xFFFFFF, pixel(721, 300));   // the pane's frame follows
}

// A drag pans by exactly the pointer's way and turns Auto Pan off without
// zooming; a notch of the wheel zooms a quarter of a doubling keeping the
// map point under the pointer; arrow keys pan part of the pane (Shift a
// whole one), + and Page Down zoom a notch about the centre, and Home
// brings back Auto Pan.
// A sheet panned into view is decoded aside: the frame that first needs it
// shows "loading" over the hatching without decoding it, and the sheet is
// drawn once the worker hands it back.
TEST_F(AppNavigationTest, ASheetPannedIntoViewIsDecodedOffThePaint) {
    addSheet(kLat, kLon, 2, 0, 40);
    addSheet(kLat, kLon + 6 * kStep2, 2, 0, 41);                           // in both views
    TestSheet far = addSheet(kLat - 2 * kStep2, kLon + 12 * kStep2, 2, 0, 42);   // past the ring decoded ahead
    create();
    app_size(1920, 1080);
    app_paint();
    ASSERT_EQ(1, view_pane_decoding_drain(5000));
    view();
    const long decodes = view_pane.cache.decodes;
    headless_reset();
    app_key_down(APP_KEY_RIGHT, 1);           // a whole pane east
    ViewRecord b = view();
    double fx, fy;
    view_plane_to_screen(b, far.extent.centreX, far.extent.centreY, &fx, &fy);
    ASSERT_TRUE(fx >= 0 && fx < b.width && fy >= 0 && fy < b.height);
    const int x = static_cast<int>(fx), y = static_cast<int>(fy);
    EXPECT_EQ(decodes, view_pane.cache.decodes);
    EXPECT_NE(static_cast<int>(far.colour()), panePixel(x, y));
    auto texts = headless_calls_of("draw_text");
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const HeadlessCall& c) { return c.text == "loading"; }));
    ASSERT_EQ(1, view_pane_decoding_drain(5000));
    app_paint();
    EXPECT_EQ(static_cast<int>(far.colour()), panePixel(x, y));
}

// The vehicle crossing into a sheet the view has decoded: Auto Pan takes it
// as the displayed sheet without decoding its file again in the frame.
TEST_F(AppNavigationTest, AutoPanOntoADecodedSheetKeepsItsDecode) {
    addSheet(kLat, kLon, 2, 0, 40);
    TestSheet next = addSheet(kLat, kLon + kStep2, 2, 0, 41);
    create();
    settings()->autoPan = 1;
    setFix(kLat, kLon);
    app_paint();
    ASSERT_EQ(1, view_pane_decoding_drain(5000));
    app_paint();
    const long decodes = view_pane.cache.decodes;
    setFix(next.lat, next.lon);
    app_paint();
    EXPECT_EQ(next.lon, map_view.sheetLon);
    EXPECT_EQ(decodes, view_pane.cache.decodes);
}

TEST_F(AppNavigationTest, DragWheelAndKeysMoveTheView) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    settings()->autoPan = 1;
    auto view = [] {
        app_paint();
        ViewRecord r{};
        EXPECT_EQ(1, view_pane_current(&r));
        return r;
    };
    auto planeAt = [](const ViewRecord& r, int x, int y, double* px, double* py) {
        view_screen_to_plane(r, x - kPaneX + 0.5, y - kPaneY + 0.5, px, py);
    };
    ViewRecord a = view();
    app_mouse_down(APP_BUTTON_LEFT, 240, 200, 0);
    app_mouse_move(242, 201, 1);              // a shaking hand is still a click...
    app_mouse_move(200, 230, 1);              // ...until it moves on
    app_mouse_up(APP_BUTTON_LEFT, 200, 230);
    ViewRecord b = view();
    EXPECT_EQ(2, b.level);
    EXPECT_EQ(0, settings()->autoPan);
    EXPECT_NEAR(b.cx - a.cx, 40 * a.mpp, 1e-6);
    EXPECT_NEAR(b.cy - a.cy, 30 * a.mpp, 1e-6);

    double x0, y0, x1, y1;
    planeAt(b, 100, 120, &x0, &y0);
    app_mouse_wheel(100, 120, 1);
    ViewRecord c = view();
    planeAt(c, 100, 120, &x1, &y1);
    EXPECT_EQ(2, c.level);                    // drawn from its sheets, enlarged
    EXPECT_NEAR(b.mpp / c.mpp, std::exp2(0.25), 1e-9);
    EXPECT_NEAR(x0, x1, c.mpp);
    EXPECT_NEAR(y0, y1, c.mpp);

    struct Step {
        int key, shift, notches;
        double dx, dy;                        // panes
    } steps[] = {{APP_KEY_RIGHT, 0, 0, 0.25, 0}, {APP_KEY_UP, 1, 0, 0, 1}, {APP_KEY_ZOOM_IN, 0, 1, 0, 0},
                 {APP_KEY_PAGE_DOWN, 0, -1, 0, 0}};
    for (const Step& s : steps) {
        ViewRecord before = view();
        app_key_down(s.key, s.shift);
        ViewRecord after = view();
        EXPECT_NEAR(before.mpp / after.mpp, std::exp2(s.notches / 4.0), 1e-9) << s.key;
        EXPECT_NEAR(after.cx - before.cx, s.dx * before.width * before.mpp, 1e-6) << s.key;
        EXPECT_NEAR(after.cy - before.cy, s.dy * before.height * before.mpp, 1e-6) << s.key;
    }
    app_key_down(APP_KEY_HOME, 0);
    EXPECT_EQ(1, settings()->autoPan);
    EXPECT_EQ(1, headless_menu_checked(MENU_AUTO_PAN));
}

// Notch by notch across two levels the point under the pointer stays under
// it and the level drawn follows the scale; the vehicle is drawn where the
// view between the levels places it.
TEST_F(AppNavigationTest, WheelBetweenLevelsKeepsThePointUnderThePointer) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    app_command(MENU_AUTO_PAN);           // off
    const int points[][2] = {{100, 120}, {400, 300}, {241, 229}};
    ViewRecord before = view();
    for (int n = 0; n < 11; n++) {
        int x = points[n % 3][0], y = points[n % 3][1];
        double x0, y0, x1, y1;
        planeAt(before, x, y, &x0, &y0);
        app_mouse_wheel(x, y, 1);
        ViewRecord after = view();
        planeAt(after, x, y, &x1, &y1);
        EXPECT_NEAR(before.mpp / after.mpp, std::exp2(0.25), 0.01) << n;
        EXPECT_EQ(view_scale_level(after.mpp, 0), after.level) << n;
        EXPECT_NEAR(x0, x1, after.mpp) << n;
        EXPECT_NEAR(y0, y1, after.mpp) << n;
        before = after;
    }
    EXPECT_EQ(4, before.level);
    app_command(MENU_AUTO_PAN);           // on
    setFix(kLat + 0.01, kLon + 0.02);
    int px, py;
    ASSERT_TRUE(view_position_pixel(view(), kLat + 0.01, kLon + 0.02, &px, &py));
    EXPECT_TRUE(markerAt(px, py, kAnyGround));
}

// A click without a drag zooms in, a right click out, each keeping the map
// point under the pointer where it is, as the wheel does; with Auto Pan on
// the zoom is about the vehicle, which stays where it is drawn.
TEST_F(AppNavigationTest, ClicksZoomAboutTheClickedPointAsTheWheel) {
    addSheet(kLat, kLon, 2, 0, 40);
    create();
    app_command(MENU_AUTO_PAN);           // off
    ASSERT_EQ(0, settings()->autoPan);
    struct Case {
        int button, x, y, level;
    } cases[] = {{APP_BUTTON_LEFT, 241, 229, 3}, {APP_BUTTON_RIGHT, 400, 100, 2}, {APP_BUTTON_RIGHT, 60, 300, 1},
                 {APP_BUTTON_LEFT, 120, 80, 2}};
    for (const Case& c : cases) {
        double x0, y0, x1, y1;
        planeAt(view(), c.x, c.y, &x0, &y0);
        click(c.button, c.x, c.y);
        ViewRecord after = view();
        planeAt(after, c.x, c.y, &x1, &y1);
        EXPECT_EQ(c.level, after.level) << c.x;
        EXPECT_NEAR(x0, x1, after.mpp) << c.x;
        EXPECT_NEAR(y0, y1, after.mpp) << c.x;
    }
    app_command(MENU_AUTO_PAN);           // on: the vehicle stays where it is drawn
    setFix(kLat + 0.01, kLon + 0.02);
    ViewRecord before = view();
    int vx0, vy0, vx1, vy1;
    ASSERT_TRUE(view_position_pixel(before, kLat + 0.01, kLon + 0.02, &vx0, &vy0));
    for (int button : {APP_BUTTON_LEFT, APP_BUTTON_RIGHT}) {
        click(button, 100, 300);
        ViewRecord after = view();
        ASSERT_TRUE(view_position_pixel(after, kLat + 0.01, kLon + 0.02, &vx1, &vy1));
        EXPECT_EQ(before.level + (button == APP_BUTTON_LEFT), after.level);
        EXPECT_NEAR(vx0, vx1, 1);
        EXPECT_NEAR(vy0, vy1, 1);
        EXPECT_EQ(1, settings()->autoPan);
    }
}

// A zoom toward a scale between the levels whose animation gets a single
// frame (a slow machine) holds its picture at the new scale until the
// view's sheets are filtered to it, within a frame's budget each frame:
// the frame that composes the new scale filters none.
TEST_F(AppNavigationTest, AZoomHoldsItsPictureWhileTheNewScalesSheetsAreFiltered) {
    for (int i = 0; i < 9; i++) addSheet(kLat + (i / 3 - 1) * kStep2, kLon + (i % 3 - 1) * 2 * kStep2, 2, 0, 40 + i);
    create();
    app_command(MENU_AUTO_PAN);           // off
    int64_t clock = 1000;
    headless_set_clock_ms(clock);
    view();
    app_mouse_wheel(320, 240, -1);
    app_paint();
    ASSERT_EQ(1, view_pane_zooming());
    headless_set_clock_ms(clock += VIEW_ZOOM_MS);
    long before = 0;
    int frames = 0;
    for (; view_pane_zooming() && frames < 40; frames++) {
        before = view_pane.scaled.made;
        app_paint();
        headless_set_clock_ms(clock += VIEW_ZOOM_FRAME_MS);
    }
    EXPECT_EQ(0, view_pane_zooming());
    EXPECT_GT(view_pane.scaled.made, 1);
    EXPECT_EQ(before, view_pane.scaled.made) << frames << " frames";
    EXPECT_NE(view_level_mpp(2, 0), view().mpp);
}

// While following, a zoom animates too (a notch of the wheel; Auto Zoom's
// next band, into the next level's sheets): every frame between the scales
// keeps the vehicle where it is drawn though fixes move it on, and the last
// is the new scale composed, from sheets filtered to it on the way.
TEST_F(AppNavigationTest, ZoomWhileFollowingAnimatesWithTheVehicleInPlace) {
    double lat = kLat + 0.01, lon = kLon + 0.02, knots = 0;
    addSheet(kLat, kLon, 2, 0, 40);
    addSheet(lat, lon, 3, 0, 41);
    create();
    settings()->autoPan = 1;
    int64_t clock = 1000;
    headless_set_clock_ms(clock);
    setFix(lat, lon);
    auto animates = [&](const char* what, auto zoom, double mpp) {
        ViewRecord before = view();
        int vx0, vy0, vx, vy;
        ASSERT_TRUE(view_position_pixel(before, lat, lon, &vx0, &vy0)) << what;
        zoom();
        app_paint();
        ASSERT_EQ(1, view_pane_zooming()) << what;
        long filtered = 0;             // sheets filtered to a scale, before the last frame
        for (int ms = 30; ms <= VIEW_ZOOM_MS; ms += 30) {
            filtered = view_pane.scaled.made;
            headless_set_clock_ms(clock += 30);
            setFix(lat += 3e-5, lon += 6e-5, "2025/05/08 12:00:00", knots);   // about 100 km/h
            ViewRecord at = view();
            ASSERT_TRUE(view_position_pixel(at, lat, lon, &vx, &vy)) << what << ms;
            EXPECT_TRUE(std::abs(vx - vx0) <= 1 && std::abs(vy - vy0) <= 1) << what << ms;
            EXPECT_TRUE(ms == VIEW_ZOOM_MS || (at.mpp - before.mpp) * (at.mpp - mpp) < 0) << what << ms;   // between
        }
        EXPECT_EQ(0, view_pane_zooming()) << what;
        EXPECT_NEAR(mpp, view().mpp, 1e-9 * mpp) << what;
        if (mpp != view_level_mpp(view().level, 0)) {
            EXPECT_EQ(filtered, view_pane.scaled.made) << what;
        }
    };
    animates("wheel", [] { app_mouse_wheel(100, 120, 1); }, view().mpp / std::exp2(0.25));
    animates("auto zoom", [&] {
        setFix(lat, lon, "2025/05/08 12:00:00", knots = 100 / 1.852);
        app_command(MENU_AUTO_ZOOM);   // on
    }, auto_zoom_mpp(auto_zoom_band_of(100 / 3.6), 0));
    EXPECT_EQ(3, view().level);
}

// A zoom's frames: the place both views show at one pixel stays at it all
// the way while the scale runs from the one to the other, eased to a stop.
TEST(ViewZoom, FramesKeepThePlaceBothViewsShowAtOnePixel) {
    const ViewRecord from{VIEW_PLANE_CANADA_LAMBERT, 2, 0, 1000, 2000, 50, 480, 360, 0};
    const double px = 100.5, py = 80.5;
    double x0, y0;
    view_screen_to_plane(from, px, py, &x0, &y0);
    ViewRecord to = from;
    to.mpp = 20;
    to.cx = x0 - (px - 240) * to.mpp;
    to.cy = y0 + (py - 180) * to.mpp;
    double last = from.mpp + 1;
    for (int ms : {0, 40, 80, 120, 150, 400}) {
        ViewRecord at;
        ASSERT_EQ(1, view_zoom_between(from, to, view_zoom_fraction(1000, 1000 + ms), &at));
        double x, y;
        view_screen_to_plane(at, px, py, &x, &y);
        EXPECT_NEAR(x0, x, 1e-6) << ms;
        EXPECT_NEAR(y0, y, 1e-6) << ms;
        if (ms < VIEW_ZOOM_MS) {
            EXPECT_LT(at.mpp, last) << ms;
            last = at.mpp;
        } else {
            EXPECT_DOUBLE_EQ(to.mpp, at.mpp);
        }
    }
}

// Course-up: a frame between the scales, off the centre (the vehicle looking
// ahead), shows each place where the turned picture showed it.
TEST(ViewZoom, TurnedFrameShowsEachPlaceWhereThePictureShowedIt) {
    const ViewRecord from{VIEW_PLANE_CANADA_LAMBERT, 2, 0, 1000, 2000, 50, 480, 360, 0.5};
    ViewRecord at{VIEW_PLANE_CANADA_LAMBERT, 2, 0, 1500, 1700, 30, 480, 360, 0.5};
    std::vector<uint32_t> picture(480 * 360, 0x111111), frame(480 * 360);
    for (auto [x, y] : {std::pair{300, 250}, {200, 280}}) {
        double qx, qy, px, py;
        picture[y * 480 + x] = 0xFF0000;
        view_screen_to_plane(from, x + 0.5, y + 0.5, &qx, &qy);
        view_zoom_picture(picture.data(), from, frame.data(), 480, at, 0);
        view_plane_to_screen(at, qx, qy, &px, &py);
        EXPECT_EQ(0xFF0000u, frame[static_cast<int>(py) * 480 + static_cast<int>(px)]) << x;
        picture[y * 480 + x] = 0x111111;
    }
}
