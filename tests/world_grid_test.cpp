// The sheet grid anywhere on Earth: the Canadian grid unchanged, the Arctic
// islands and the rest of the world on true sheets, impossible input refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "maps/area_sheets.h"
#include "maps/lcc.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_store.h"
#include "maps/wms_request.h"
#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "settings/app_settings.h"
#include "settings/program_settings.h"

namespace {

// The sheet of a position as a WMS download makes it (download_wms_test and
// sheets_cli_test check the request that asks for it).
struct Sheet {
    int plane = VIEW_PLANE_NONE, epsg = 0;
    WmsBox box{};
    std::string path, record;
};

Sheet sheetAt(double lat, double lon, int level, int big) {
    Sheet s;
    const char* why = "";
    double x = 0, y = 0, angle = 0;
    int w = view_sheet_width(big), h = view_sheet_height(big);
    s.plane = world_grid_snap(lat, lon, level, big, &lat, &lon, &why);
    char text[1024];
    if (sheet_path(text, sizeof text, "M", lat, lon, level, big, SHEET_GIF)) s.path = text;
    if (!sheet_download_plane_centre(lat, lon, level, big, &x, &y, &angle, &s.epsg)) return s;
    s.box = wms_sheet_box(x, y, zoom_level_scale(level), w, h);
    s.box.epsg = s.epsg;
    SheetExtent e = {zoom_level_scale(level), x, y, s.box.minX, s.box.minY, s.box.maxX, s.box.maxY, angle, s.epsg};
    if (sheet_extent_format(text, sizeof text, &e) > 0) s.record = text;
    return s;
}

bool contains(const Sheet& s, double lat, double lon) {
    double x = 0, y = 0;
    bool placed = s.epsg == VIEW_PLANE_WEB_MERCATOR ? world_grid_to_mercator(lat, lon, &x, &y) : ll2lcc(&x, &y, lat, lon);
    return placed && x >= s.box.minX && x <= s.box.maxX && y >= s.box.minY && y <= s.box.maxY;
}



// Names and extent records computed before the world grid.
TEST(WorldGrid, CanadianSheetsUnchanged) {
    struct Row {
        double lat, lon;
        int level, big;
        const char *path, *record;
    } rows[] = {
        {45.4215, -75.6972, 4, 0, "M/w070/w075n045/mac_z4_w0754200_n0452500.gif",
         "20000,1510565.602316,-170397.989570,1508875.797673,-171664.461109,1512255.406959,-169131.518032,17.385249"},
        {45.4215, -75.6972, 2, 1, "M/w070/w075n045/mad_z2_w0754000_n0453000.gif",
         "200000,1510279.514803,-160633.840098,1484914.806278,-179648.552052,1535644.223328,-141619.128143,17.415275"},
        {45.3, -75.9, 0, 0, "M/w080/w080n050/mac_z0_w0800000_n0500000.gif",
         "10000000,1061494.988293,236755.904226,216592.666762,-396479.864938,1906397.309823,869991.673389,13.511851"},
        {74.99, -95, 4, 0, "M/w090/w095n074/mac_z4_w0950000_n0745900.gif",
         "20000,0.000000,2832369.648479,-1689.804643,2831103.176941,1689.804643,2833636.120017,0.000000"},
    };
    for (const Row& r : rows) {
        Sheet s = sheetAt(r.lat, r.lon, r.level, r.big);
        EXPECT_EQ(s.path, r.path);
        EXPECT_EQ(s.record, r.record);
    }
    // Inside the area by the eastern edge, where the nearest grid point lies beyond it.
    char letter = program_settings.zoomLetter;
    program_settings.zoomLetter = 'S';
    EXPECT_EQ(sheetAt(46.67678, -45.064, 1, 1).path, "M/w040/w045n046/mad_s1_w0450000_n0460000.gif");
    program_settings.zoomLetter = letter;
}

// Each place gets a sheet of its own plane that contains it at every level
// and size.
TEST(WorldGrid, PlacesGetTheirOwnSheets) {
    struct Row {
        double lat, lon;
        const char* path;  // level 4
    } rows[] = {
        {82.50, -62.35, "M/w060/w062n082/mac_z4_w0622100_n0823000.gif"},  // Alert
        {76.42, -82.90, "M/w080/w082n076/mac_z4_w0825400_n0762500.gif"},  // Grise Fiord
        {37.8076, -122.3004, "M/epsg3857/w120/w122n037/wmc_z4_w1221825_n0374812.gif"},
        {48.136, 10.0696, "M/epsg3857/e010/e010n048/wmc_z4_e0100347_n0480827.gif"},
        {-33.86, 151.21, "M/epsg3857/e150/e151s033/wmc_z4_e1511156_s0335143.gif"},
        // Either side of the Canadian grid's southern edge.
        {39.9925, -75, "M/w070/w075n040/mac_z4_w0750000_n0400000.gif"},
        {39.99, -75, "M/epsg3857/w070/w074n039/wmc_z4_w0745946_n0395940.gif"},
    };
    // Web Mercator as PROJ's cs2cs gives it, north-west and south-east
    // (lcc_test checks the Canadian grid).
    for (auto [lat, lon, ex, ey] : {std::array{82.5, -62.35, -6940770.2510, 17380689.9437},
                                    std::array{-33.86, 151.21, 16832620.2029, -4010018.9023}}) {
        double x = 0, y = 0;
        ASSERT_TRUE(world_grid_to_mercator(lat, lon, &x, &y));
        EXPECT_LT(std::hypot(x - ex, y - ey), 0.01) << lat;
    }
    for (const Row& r : rows)
        for (int level = 0; level < 2 * ZOOM_LEVELS; level++) {
            Sheet s = sheetAt(r.lat, r.lon, level / 2, level % 2);
            if (level == 2 * ZOOM_FINEST) {
                EXPECT_EQ(s.path, r.path);
            }
            EXPECT_TRUE(contains(s, r.lat, r.lon)) << r.path << " level " << level / 2;
            // The plane shows in the name and the record.
            bool mercator = s.epsg == VIEW_PLANE_WEB_MERCATOR;
            EXPECT_EQ(mercator, s.path.find("/epsg3857/") != std::string::npos && s.record.ends_with(",3857"));
        }
}

// Every point lies on some sheet at every level, where a degree grid in Web
// Mercator would leave gaps; across 180 degrees too.
TEST(WorldGrid, CoversEveryPointAtHighLatitudes) {
    for (double lat : {0.0, 45.0, 60.0, 80.0, -60.0})
        for (int level = 0; level <= ZOOM_FINEST; level++)
            for (int i = 0; i <= 1600; i++) {
                double la = lat + std::min(4.9, zoom_level_step(level) * 3) * (i / 40) / 40;
                double lo = 179 - zoom_level_step(level) * 5 * (i % 40) / 40;
                ASSERT_TRUE(contains(sheetAt(la, lo, level, i % 2), la, lo)) << la << " " << lo << " " << level;
            }
    EXPECT_TRUE(contains(sheetAt(10, -179.999, 1, 0), 10, -179.999));
    EXPECT_TRUE(contains(sheetAt(85, 10, 4, 0), 85, 10));
}

TEST(WorldGrid, RefusesImpossibleAndUnmappedPlaces) {
    for (auto p : std::vector<std::pair<double, double>>{{NAN, 0}, {0, NAN}, {91, 0}, {0, 181}, {-86, -75}})
        EXPECT_EQ(sheetAt(p.first, p.second, 2, 0).plane, VIEW_PLANE_NONE) << p.first;
    EXPECT_EQ(sheetAt(85.5, -70, 4, 0).plane, VIEW_PLANE_CANADA_LAMBERT);  // Canada's north
    std::vector<AreaSheet> out;
    EXPECT_EQ(area_sheets_in_box(91, -75, 92, -74, 2, 0, &out), -1);
    EXPECT_EQ(area_sheets_count_in_box(45, -181, 46, -179, 2, 0), -1);
}

// Why no view can be centred on a point reaches the user as it is: no grid
// beyond 85 degrees, an impossible position, PROJ without its data (each
// thread has its own PROJ context, so a new thread sees the data gone).
TEST(WorldGrid, PlaceCheckSaysWhy) {
    struct { double lat, lon; const char* starts; } cases[] = {
        {45.42, -75.70, ""}, {-33.86, 151.21, ""}, {88.0, 20.0, "No map grid here"}, {95.0, 0.0, "Not a position"}};
    for (const auto& c : cases) {
        Result r = world_grid_place_check(c.lat, c.lon, 2, 0);
        EXPECT_EQ(r.ok, c.starts[0] == 0) << c.lat;
        EXPECT_EQ(r.why.rfind(c.starts, 0), 0u) << r.why;
    }
    const char* kept = getenv("PROJ_DATA");
    std::string saved = kept ? kept : "";
    setenv("PROJ_DATA", "/nonexistent-kiv-proj-data", 1);
    Result r;
    std::thread([&] { r = world_grid_place_check(-33.86, 151.21, 2, 0); }).join();
    if (kept) setenv("PROJ_DATA", saved.c_str(), 1); else unsetenv("PROJ_DATA");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.why.find("PROJ"), std::string::npos) << r.why;
}

}  // namespace
