// The sheet grid anywhere on Earth: the Canadian grid unchanged, the Arctic
// islands and the rest of the world on true sheets, impossible input refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "maps/area_sheets.h"
#include "maps/lcc.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_store.h"
#include "maps/wms_request.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "settings/app_settings.h"

namespace {

int sizeOf(int big, int wide) { return big ? (wide ? 720 : 540) : (wide ? 480 : 360); }

// The sheet of a position as a download makes it: path, extent record and
// WMS request.
struct Sheet {
    int plane = SHEET_PLANE_NONE, epsg = 0;
    double lat = 0, lon = 0, x = 0, y = 0;
    WmsBox box{};
    std::string path, record, url;
};

Sheet sheetAt(double lat, double lon, int level, int big, const char* version = "1.3.0") {
    Sheet s;
    const char* why = "";
    s.plane = worldGridSnap(lat, lon, level, big, &s.lat, &s.lon, &why);
    if (s.plane == SHEET_PLANE_NONE) return s;
    char text[1024];
    if (sheetPath(text, sizeof text, "M", s.lat, s.lon, level, big, SHEET_GIF)) s.path = text;
    double angle = 0;
    if (!sheetPlaneCentre(s.lat, s.lon, level, big, &s.x, &s.y, &angle, &s.epsg)) return s;
    s.box = wmsSheetBox(s.x, s.y, zoomScale(level), sizeOf(big, 1), sizeOf(big, 0));
    s.box.epsg = s.epsg;
    SheetExtent e = {zoomScale(level), s.x, s.y, s.box.minX, s.box.minY, s.box.maxX, s.box.maxY, angle, s.epsg};
    if (sheetFormatExtentRecord(text, sizeof text, &e) > 0) s.record = text;
    WmsSource src{};
    snprintf(src.url, sizeof src.url, "http://h/wms");
    snprintf(src.layers, sizeof src.layers, "t");
    snprintf(src.version, sizeof src.version, "%s", version);
    if (wmsGetMapUrl(text, sizeof text, &src, &s.box, sizeOf(big, 1), sizeOf(big, 0))) s.url = text;
    return s;
}

// The position in the sheet's plane lies inside its extent.
bool contains(const Sheet& s, double lat, double lon) {
    double x = 0, y = 0;
    bool placed = s.epsg == SHEET_EPSG_MERCATOR ? worldGridToMercator(lat, lon, &x, &y) : ll2lcc(&x, &y, lat, lon);
    return placed && x >= s.box.minX && x <= s.box.maxX && y >= s.box.minY && y <= s.box.maxY;
}

}  // namespace

// Names, extent records and requests computed before the world grid.
TEST(WorldGrid, CanadianSheetsUnchanged) {
    struct Row {
        double lat, lon;
        int level, big;
        const char *path, *record, *bbox;
    } rows[] = {
        {45.4215, -75.6972, 4, 0, "M/w070/w075n045/mac_z4_w0754200_n0452500.gif",
         "20000,1510565.602316,-170397.989570,1508875.797673,-171664.461109,1512255.406959,-169131.518032,17.385249",
         "BBOX=1508875.797673,-171664.461109,1512255.406959,-169131.518032&WIDTH=480&HEIGHT=360&"},
        {45.4215, -75.6972, 2, 1, "M/w070/w075n045/mad_z2_w0754000_n0453000.gif",
         "200000,1510279.514803,-160633.840098,1484914.806278,-179648.552052,1535644.223328,-141619.128143,17.415275",
         "BBOX=1484914.806278,-179648.552052,1535644.223328,-141619.128143&WIDTH=720&HEIGHT=540&"},
        {45.3, -75.9, 0, 0, "M/w080/w080n050/mac_z0_w0800000_n0500000.gif",
         "10000000,1061494.988293,236755.904226,216592.666762,-396479.864938,1906397.309823,869991.673389,13.511851",
         "BBOX=216592.666762,-396479.864938,1906397.309823,869991.673389&WIDTH=480&HEIGHT=360&"},
        {40, -74, 3, 0, "M/w070/w074n040/mac_z3_w0740000_n0400000.gif",
         "50000,1839785.960381,-714326.354309,1835561.448773,-717492.533155,1844010.471989,-711160.175463,18.916592",
         "BBOX=1835561.448773,-717492.533155,1844010.471989,-711160.175463&WIDTH=480&HEIGHT=360&"},
        {74.99, -95, 4, 0, "M/w090/w095n074/mac_z4_w0950000_n0745900.gif",
         "20000,0.000000,2832369.648479,-1689.804643,2831103.176941,1689.804643,2833636.120017,0.000000",
         "BBOX=-1689.804643,2831103.176941,1689.804643,2833636.120017&WIDTH=480&HEIGHT=360&"},
    };
    for (const Row& r : rows) {
        Sheet s = sheetAt(r.lat, r.lon, r.level, r.big);
        EXPECT_EQ(s.plane, SHEET_PLANE_LAMBERT) << r.path;
        EXPECT_EQ(s.path, r.path);
        EXPECT_EQ(s.record, r.record);
        EXPECT_NE(s.url.find(std::string("&CRS=EPSG:3978&") + r.bbox), std::string::npos) << s.url;
    }
}

// Every place gets a sheet of its plane that contains it, at every level.
TEST(WorldGrid, PlacesGetTheirOwnSheets) {
    struct Row {
        double lat, lon;
        int plane;
        const char* path;  // at level 4
    } rows[] = {
        {82.50, -62.35, SHEET_PLANE_LAMBERT, "M/w060/w062n082/mac_z4_w0622100_n0823000.gif"},    // Alert
        {76.42, -82.90, SHEET_PLANE_LAMBERT, "M/w080/w082n076/mac_z4_w0825400_n0762500.gif"},    // Grise Fiord
        {37.8076, -122.3004, SHEET_PLANE_MERCATOR, "M/epsg3857/w120/w122n037/wmc_z4_w1221825_n0374812.gif"},
        {48.136, 10.0696, SHEET_PLANE_MERCATOR, "M/epsg3857/e010/e010n048/wmc_z4_e0100347_n0480827.gif"},
        {-33.86, 151.21, SHEET_PLANE_MERCATOR, "M/epsg3857/e150/e151s033/wmc_z4_e1511156_s0335143.gif"},
        {-22.9, -43.2, SHEET_PLANE_MERCATOR, "M/epsg3857/w040/w043s022/wmc_z4_w0431123_s0225353.gif"},
        // Either side of the Canadian grid's southern edge.
        {39.9925, -75, SHEET_PLANE_LAMBERT, "M/w070/w075n040/mac_z4_w0750000_n0400000.gif"},
        {39.99, -75, SHEET_PLANE_MERCATOR, "M/epsg3857/w070/w074n039/wmc_z4_w0745946_n0395940.gif"},
    };
    for (const Row& r : rows)
        for (int level = 0; level <= ZOOM_FINEST; level++)
            for (int big = 0; big <= 1; big++) {
                Sheet s = sheetAt(r.lat, r.lon, level, big);
                if (level == ZOOM_FINEST && !big) {
                    EXPECT_EQ(s.plane, r.plane) << r.path;
                    EXPECT_EQ(s.path, r.path);
                }
                EXPECT_TRUE(contains(s, r.lat, r.lon)) << r.path << " level " << level << " big " << big;
                EXPECT_EQ(s.epsg == SHEET_EPSG_MERCATOR, s.plane == SHEET_PLANE_MERCATOR);
                EXPECT_EQ(s.record.size() > 6 && s.record.substr(s.record.size() - 5) == ",3857",
                          s.epsg == SHEET_EPSG_MERCATOR)
                    << s.record;
            }
    // A Web Mercator sheet asks the WMS for EPSG:3857 with the box of its record.
    Sheet s = sheetAt(48.136, 10.0696, 4, 0, "1.1.1");
    char bbox[128];
    snprintf(bbox, sizeof bbox, "&SRS=EPSG:3857&BBOX=%.6f,%.6f,%.6f,%.6f&", s.box.minX, s.box.minY, s.box.maxX,
             s.box.maxY);
    EXPECT_NE(s.url.find(bbox), std::string::npos) << s.url;
    SheetExtent back;
    ASSERT_EQ(sheetParseExtentRecord(s.record.c_str(), s.record.size(), &back), 1);
    EXPECT_EQ(back.epsg, SHEET_EPSG_MERCATOR);
    EXPECT_EQ(back.minX, s.box.minX);
}

// Both planes agree with PROJ's own cs2cs at the places of the table.
TEST(WorldGrid, ProjectionAgreesWithCs2cs) {
    const double places[][2] = {{82.5, -62.35}, {37.8076, -122.3004}, {48.136, 10.0696}, {-33.86, 151.21}, {40, -75}};
    for (const char* crs : {"EPSG:3857", "EPSG:3978"}) {
        std::string cmd = std::string("cs2cs -f %.4f EPSG:4326 ") + crs + " <<'EOF'\n";
        for (const auto& p : places) cmd += std::to_string(p[0]) + " " + std::to_string(p[1]) + "\n";
        FILE* f = popen((cmd + "EOF\n").c_str(), "r");
        ASSERT_NE(f, nullptr);
        for (const auto& p : places) {
            double ex = 0, ey = 0, x = 0, y = 0;
            ASSERT_EQ(fscanf(f, "%lf %lf %*s", &ex, &ey), 2) << crs;
            if (std::string(crs) == "EPSG:3857") {
                ASSERT_EQ(worldGridToMercator(p[0], p[1], &x, &y), 1);
            } else {
                ASSERT_EQ(ll2lcc(&x, &y, p[0], p[1]), 1);
            }
            EXPECT_NEAR(x, ex, 0.01) << crs << " " << p[0];
            EXPECT_NEAR(y, ey, 0.01) << crs << " " << p[0];
        }
        pclose(f);
    }
}

// Every point lies on some sheet at every level, where a degree grid in Web
// Mercator would leave gaps.
TEST(WorldGrid, CoversEveryPointAtHighLatitudes) {
    for (double lat : {0.0, 45.0, 60.0, 80.0, -60.0})
        for (int level = 0; level <= ZOOM_FINEST; level++) {
            double spanLat = std::min(4.9, zoomStep(level) * 3), spanLon = zoomStep(level) * 5;
            for (int i = 0; i <= 40; i++)
                for (int j = 0; j <= 40; j++) {
                    double la = lat + spanLat * i / 40, lo = 20 + spanLon * j / 40;
                    Sheet s = sheetAt(la, lo, level, j % 2);
                    ASSERT_TRUE(contains(s, la, lo)) << la << " " << lo << " level " << level;
                }
        }
    // Across 180 degrees as well.
    EXPECT_TRUE(contains(sheetAt(10, 179.999, 1, 0), 10, 179.999));
    EXPECT_TRUE(contains(sheetAt(10, -179.999, 1, 0), 10, -179.999));
}

TEST(WorldGrid, RefusesImpossibleAndUnmappedPlaces) {
    double lat, lon;
    const char* why = "";
    for (auto p : std::vector<std::pair<double, double>>{{NAN, 0}, {0, NAN}, {91, 0}, {0, 181}, {-90.5, 0}})
        EXPECT_EQ(worldGridSnap(p.first, p.second, 2, 0, &lat, &lon, &why), SHEET_PLANE_NONE) << p.first;
    EXPECT_EQ(worldGridSnap(87, 10, 2, 0, &lat, &lon, &why), SHEET_PLANE_NONE);
    EXPECT_EQ(std::string(why).rfind("No map grid here", 0), 0u) << why;
    EXPECT_EQ(worldGridSnap(-86, -75, 4, 0, &lat, &lon, &why), SHEET_PLANE_NONE);
    // Canada's Arctic islands are mapped beyond 85 N.
    EXPECT_EQ(worldGridSnap(85.5, -70, 4, 0, &lat, &lon, &why), SHEET_PLANE_LAMBERT);
    std::vector<AreaSheet> out;
    EXPECT_EQ(area_sheets_in_box(91, -75, 92, -74, 2, 0, &out), -1);
    EXPECT_EQ(area_sheets_count_in_box(45, -181, 46, -179, 2, 0), -1);
    EXPECT_EQ(area_sheets_in_box(45, NAN, 46, -74, 2, 0, &out), -1);
}
