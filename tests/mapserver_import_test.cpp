// OpenStreetMap imports on the local map server: a small extract written
// here is imported into a temporary imports folder, sheets are fetched with
// kivsheet, and the roads, the lake and the town name must be drawn where
// the projection and the stored extent put them. Exits 77 (skipped) where
// MapServer, lighttpd, GMT or GDAL are missing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "maps/lcc.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "nav/place_search.h"

namespace fs = std::filesystem;

namespace {

struct CommandRun {
    int status = -1;
    std::string out;
};

CommandRun runCommand(const std::string& command) {
    CommandRun r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// A path as one shell word.
std::string q(const fs::path& p) {
    std::string out = "'";
    for (char c : p.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void writeFile(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

std::string lastLine(std::string s) {
    while (!s.empty() && s.back() == '\n') s.pop_back();
    size_t nl = s.find_last_of('\n');
    return nl == std::string::npos ? s : s.substr(nl + 1);
}

// Around 46.5 N 78.5 W, where the world data draw nothing but land.
const char* const kExtract = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6" generator="kiv test">
  <node id="1" lat="46.495" lon="-78.56"/> <node id="2" lat="46.495" lon="-78.44"/>
  <node id="3" lat="46.48" lon="-78.49"/> <node id="4" lat="46.52" lon="-78.49"/>
  <node id="5" lat="46.5055" lon="-78.51"/> <node id="6" lat="46.5055" lon="-78.495"/>
  <node id="7" lat="46.5055" lon="-78.50625"/> <node id="8" lat="46.5055" lon="-78.5025"/>
  <node id="9" lat="46.5055" lon="-78.49875"/>
  <node id="10" lat="46.508" lon="-78.525"/> <node id="11" lat="46.508" lon="-78.512"/>
  <node id="12" lat="46.515" lon="-78.512"/> <node id="13" lat="46.515" lon="-78.525"/>
  <node id="20" lat="46.485" lon="-78.48"/> <node id="21" lat="46.485" lon="-78.47"/>
  <node id="22" lat="46.490" lon="-78.47"/> <node id="23" lat="46.490" lon="-78.48"/>
  <node id="30" lat="46.5010" lon="-78.4880"/> <node id="31" lat="46.5010" lon="-78.4875"/>
  <node id="32" lat="46.5013" lon="-78.4875"/> <node id="33" lat="46.5013" lon="-78.4880"/>
  <node id="40" lat="46.503" lon="-78.470">
    <tag k="place" v="town"/><tag k="name" v="Testville"/><tag k="population" v="12000"/></node>
  <node id="41" lat="46.488" lon="-78.525"><tag k="place" v="village"/><tag k="name" v="Littleton"/></node>
  <way id="100"><nd ref="1"/><nd ref="2"/><tag k="highway" v="motorway"/><tag k="name" v="Test Highway"/></way>
  <way id="101"><nd ref="3"/><nd ref="4"/><tag k="highway" v="primary"/><tag k="ref" v="17"/></way>
  <node id="50" lat="46.51" lon="-78.509"/> <node id="51" lat="46.51" lon="-78.496"/>
  <way id="109"><nd ref="50"/><nd ref="51"/><tag k="highway" v="footway"/><tag k="name" v="Test Trail"/></way>
  <way id="102"><nd ref="5"/><nd ref="7"/><tag k="highway" v="residential"/><tag k="name" v="Maple Avenue"/></way>
  <way id="106"><nd ref="7"/><nd ref="8"/><tag k="highway" v="residential"/><tag k="name" v="Maple Avenue"/></way>
  <way id="107"><nd ref="8"/><nd ref="9"/><tag k="highway" v="residential"/><tag k="name" v="Maple Avenue"/></way>
  <way id="108"><nd ref="9"/><nd ref="6"/><tag k="highway" v="residential"/><tag k="name" v="Maple Avenue"/></way>
  <way id="103"><nd ref="10"/><nd ref="11"/><nd ref="12"/><nd ref="13"/><nd ref="10"/>
    <tag k="natural" v="water"/><tag k="name" v="Test Lake"/></way>
  <way id="104"><nd ref="20"/><nd ref="21"/><nd ref="22"/><nd ref="23"/><nd ref="20"/><tag k="natural" v="wood"/></way>
  <way id="105"><nd ref="30"/><nd ref="31"/><nd ref="32"/><nd ref="33"/><nd ref="30"/><tag k="building" v="yes"/></way>
</osm>
)";

// In Germany, beyond the Canadian grid: a motorway along 48.136 N and a
// primary road along 10.0696 E, each across any 1:20k sheet holding their
// crossing.
const char* const kAbroad = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6" generator="kiv test">
  <node id="1" lat="48.136" lon="10.03"/> <node id="2" lat="48.136" lon="10.11"/>
  <node id="3" lat="48.11" lon="10.0696"/> <node id="4" lat="48.16" lon="10.0696"/>
  <way id="100"><nd ref="1"/><nd ref="2"/><tag k="highway" v="motorway"/></way>
  <way id="101"><nd ref="3"/><nd ref="4"/><tag k="highway" v="primary"/></way>
</osm>
)";

struct Rgb {
    int r, g, b;
};
// The map file's colours for the features checked.
const Rgb kMotorway = {200, 70, 60}, kPrimary = {236, 140, 90}, kBuilding = {176, 160, 156}, kFootway = {180, 60, 40};

struct Sheet {
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    int epsg = 0;
    ~Sheet() { free(pixels); }
    Rgb at(int x, int y) const {
        if (x < 0 || y < 0 || x >= w || y >= h) return {-999, -999, -999};
        const unsigned char* p = pixels + (static_cast<size_t>(y) * w + x) * 3;
        return {p[0], p[1], p[2]};
    }
    // Where the program places a position on this sheet, in pixels.
    void place(double lat, double lon, double* px, double* py) const {
        double x = 0, y = 0;
        if (epsg == VIEW_PLANE_WEB_MERCATOR) world_grid_to_mercator(lat, lon, &x, &y);
        else ll2lcc(&x, &y, lat, lon);
        *px = w * (x - minX) / (maxX - minX);
        *py = h - 1 - h * (y - minY) / (maxY - minY);
    }
};

bool near(Rgb a, Rgb b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) <= 45; }
bool watery(Rgb c) { return c.b > c.r + 40 && c.b > 120; }
bool ink(Rgb c) { return c.r >= 0 && c.r + c.g + c.b < 150; }
// Street name lettering: dark grey, darker than any street casing.
bool lettering(Rgb c) {
    return c.r >= 0 && c.r + c.g + c.b < 300 && std::abs(c.r - c.g) < 20 && std::abs(c.g - c.b) < 20;
}

// Mean offset (pixels along the scan) of the pixels that match, scanning
// +-range across the expected point; NAN when none match.
double centreAcross(const Sheet& s, double ex, double ey, bool vertical, int range,
                    const std::function<bool(Rgb)>& match) {
    double sum = 0;
    int n = 0;
    for (int d = -range; d <= range; d++) {
        int x = static_cast<int>(std::lround(ex)) + (vertical ? 0 : d);
        int y = static_cast<int>(std::lround(ey)) + (vertical ? d : 0);
        if (match(s.at(x, y))) {
            sum += vertical ? y - ey : x - ex;
            n++;
        }
    }
    return n ? sum / n : NAN;
}

struct ImportFixture : ::testing::Test {
    fs::path dir;
    std::string script = std::string(KIV_SOURCE_DIR) + "/mapserver/kiv-mapserver.sh";
    std::string env, root;

    void SetUp() override {
        // Characters that mean something to sed, the shell, MapServer or
        // lighttpd in the paths: the scripts write them into files.
        char pattern[] = "/tmp/kiv_osm&import|$x \"q' \\ 100%XXXXXX";
        dir = mkdtemp(pattern);
        env = "KIV_MAPIMPORTS=" + q(dir / "imports") + " ";
        writeFile(dir / "test.osm", kExtract);
    }
    void TearDown() override {
        runCommand(env + script + " stop " + q(dir / "run"));
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // Starts the server on the imports made so far.
    void start() {
        CommandRun r = runCommand(env + script + " start " + q(dir / "run"));
        ASSERT_EQ(r.status, 0) << r.out;
        root = lastLine(r.out);
    }
    // Imports the extract (written to a file of that name), then starts.
    void importAndStart(const std::string& file, const char* extract) {
        writeFile(dir / file, extract);
        CommandRun r = runCommand(env + script + " import " + q(dir / file));
        ASSERT_EQ(r.status, 0) << r.out;
        start();
    }
    void fetch(double lat, double lon, int level, const std::string& maps, Sheet* s) {
        // From the temporary folder: kivsheet reads kiv_ini.txt and leaves
        // its temporary files in the current folder.
        CommandRun r = runCommand("cd " + q(dir) + " && " + KIVSHEET_PATH + " fetch " + std::to_string(lat) + " " +
                                  std::to_string(lon) + " " + std::to_string(level) + " --maps " + q(maps) +
                                  " --server " + root + " 2>/dev/null");
        ASSERT_EQ(r.status, 0) << r.out;
        std::string path = lastLine(r.out);
        // GIF from the map server's own request, PNG from its WMS.
        int format = path.ends_with(".png") ? SHEET_PNG : SHEET_GIF;
        ASSERT_EQ(sheet_image_decode_file(path.c_str(), format, &s->pixels, &s->w, &s->h), 1) << path;
        char record[256];
        SheetExtent e;
        int len = sheet_extent_read_record(path.c_str(), format, record, sizeof record);
        ASSERT_TRUE(len > 0 && sheet_extent_parse(record, static_cast<size_t>(len), &e)) << path;
        s->minX = e.minX, s->minY = e.minY, s->maxX = e.maxX, s->maxY = e.maxY, s->epsg = e.epsg;
    }
};

TEST_F(ImportFixture, ImportedStreetsWaterAndNamesLieWhereTheProjectionPutsThem) {
    CommandRun r = runCommand(env + script + " import " + q(dir / "test.osm") + " testarea");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Imported testarea in "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("No such file"), std::string::npos) << r.out;
    // A damaged GeoPackage beside it is left out, with a warning.
    writeFile(dir / "imports" / "broken.gpkg", "not a GeoPackage");
    r = runCommand(env + script + " list");
    EXPECT_NE(r.out.find("testarea\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("skipping broken.gpkg"), std::string::npos) << r.out;
    r = runCommand(env + script + " start " + q(dir / "run"));
    ASSERT_EQ(r.status, 0) << r.out;
    root = lastLine(r.out);
    ASSERT_EQ(root.rfind("http://", 0), 0u) << r.out;

    struct Level {
        int level;
        double lakeLat, highwayLons[2], streetLats[2];
        bool town, building, streetName, lakeName, trail;
    } levels[] = {{3, 46.5095, {-78.535, -78.465}, {46.487, 46.513}, true, false, false, true, false},
                  {4, 46.5095, {-78.516, -78.482}, {46.491, 46.509}, false, true, true, false, true}};
    for (const Level& l : levels) {
        SCOPED_TRACE(testing::Message() << "level " << l.level);
        Sheet s;
        fetch(46.5, -78.5, l.level, (dir / "Maps").string(), &s);
        double ex, ey;
        for (double lon : l.highwayLons) {
            s.place(46.495, lon, &ex, &ey);
            EXPECT_LE(std::fabs(centreAcross(s, ex, ey, true, 12, [](Rgb c) { return near(c, kMotorway); })), 2.0)
                << "motorway at " << lon << " near pixel " << ex << "," << ey;
        }
        for (double lat : l.streetLats) {
            s.place(lat, -78.49, &ex, &ey);
            EXPECT_LE(std::fabs(centreAcross(s, ex, ey, false, 12, [](Rgb c) { return near(c, kPrimary); })), 2.0)
                << "primary road at " << lat << " near pixel " << ex << "," << ey;
        }
        // The lake's east shore: the first water pixel coming from the east.
        s.place(l.lakeLat, -78.512, &ex, &ey);
        double shore = NAN;
        for (int x = static_cast<int>(ex) + 15; x > ex - 15; x--)
            if (watery(s.at(x, static_cast<int>(std::lround(ey))))) {
                shore = x;
                break;
            }
        EXPECT_LE(std::fabs(shore - ex), 2.0) << "lake shore near pixel " << ex << "," << ey;
        s.place(l.lakeLat, -78.5185, &ex, &ey);
        EXPECT_TRUE(watery(s.at(static_cast<int>(ex), static_cast<int>(ey)))) << "lake at " << ex << "," << ey;
        if (l.town) {
            s.place(46.503, -78.470, &ex, &ey);
            int dark = 0;
            for (int y = static_cast<int>(ey) - 8; y <= ey + 8; y++)
                for (int x = static_cast<int>(ex) - 40; x <= ex + 40; x++) dark += ink(s.at(x, y));
            EXPECT_GE(dark, 40) << "no town name near pixel " << ex << "," << ey;
        }
        // Maple Avenue comes as four ways, each too short for its name: the
        // name is drawn along the whole street at 1:20k, and not at 1:50k.
        int letters = 0;
        for (double lon = -78.5085; lon <= -78.4965; lon += 0.0001) {
            s.place(46.5055, lon, &ex, &ey);
            for (int d = -8; d <= 8; d++) letters += lettering(s.at(static_cast<int>(ex), static_cast<int>(ey) + d));
        }
        EXPECT_EQ(letters >= 30, l.streetName) << letters << " lettering pixels along Maple Avenue";
        // The trail, dashed: found in one of the columns around each point
        // (at 1:50k its name covers it).
        for (double lon : {-78.507, -78.4975}) {
            if (!l.trail) break;
            s.place(46.51, lon, &ex, &ey);
            bool found = false;
            for (int d = -3; d <= 3 && !found; d++)
                found = std::fabs(centreAcross(s, ex + d, ey, true, 12, [](Rgb c) { return near(c, kFootway); })) <= 2;
            EXPECT_TRUE(found) << "footway near pixel " << ex << "," << ey;
        }
        // The primary road's number, in a white box on the road north of
        // the motorway; the lake's name inside it at 1:50k (at 1:20k the
        // lake is mostly beyond the sheet).
        int box = 0, lakeLetters = 0;
        for (double lat = 46.497; lat <= 46.52; lat += 0.0001) {
            s.place(lat, -78.49, &ex, &ey);
            for (int d = -6; d <= 6; d++) {
                Rgb c = s.at(static_cast<int>(ex) + d, static_cast<int>(ey));
                box += c.r >= 245 && c.g >= 245 && c.b >= 245;
            }
        }
        EXPECT_GE(box, 10) << "white ref box pixels along the primary road";
        for (double lat = 46.5085; lat <= 46.5145; lat += 0.0001)
            for (double lon = -78.5245; lon <= -78.5125; lon += 0.0001) {
                s.place(lat, lon, &ex, &ey);
                // Dark blue lettering, inside the shore line.
                Rgb c = s.at(static_cast<int>(ex), static_cast<int>(ey));
                lakeLetters += c.r >= 0 && c.r < 120 && c.b > c.r + 60;
            }
        if (l.lakeName) {
            EXPECT_GE(lakeLetters, 15) << "lake name lettering pixels";
        }
        s.place(46.50115, -78.48775, &ex, &ey);
        EXPECT_EQ(near(s.at(static_cast<int>(std::lround(ex)), static_cast<int>(std::lround(ey))), kBuilding),
                  l.building)
            << "building at " << ex << "," << ey;
    }

    // Outside the import the world data still draw: the Ottawa River.
    Sheet ottawa;
    fetch(45.45, -75.7, 3, (dir / "Maps").string(), &ottawa);
    int water = 0;
    for (int y = 0; y < ottawa.h; y++)
        for (int x = 0; x < ottawa.w; x++) water += watery(ottawa.at(x, y));
    EXPECT_GT(water, 1000);

    // Removed, the import no longer draws, on the running server.
    r = runCommand(env + script + " remove testarea");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(runCommand(env + script + " list").out.find("testarea"), std::string::npos);
    Sheet bare;
    fetch(46.5, -78.5, 3, (dir / "Bare").string(), &bare);
    int road = 0;
    for (int y = 0; y < bare.h; y++)
        for (int x = 0; x < bare.w; x++) road += near(bare.at(x, y), kMotorway) || near(bare.at(x, y), kPrimary);
    EXPECT_EQ(road, 0);
}

// An import abroad draws on the Web Mercator sheets there, which the
// program asks of the server's WMS.
TEST_F(ImportFixture, AnImportAbroadDrawsOnWebMercatorSheets) {
    ASSERT_NO_FATAL_FAILURE(importAndStart("abroad.osm", kAbroad));
    writeFile(dir / "kiv_ini.txt", "Wms=" + root + "/cgi-bin/mapserv\nWmsLayers=topographic\n");
    Sheet s;
    fetch(48.136, 10.0696, 4, (dir / "Maps").string(), &s);
    ASSERT_EQ(s.epsg, VIEW_PLANE_WEB_MERCATOR);
    double ex, ey;
    s.place(48.136, 10.0696, &ex, &ey);
    for (double f : {0.25, 0.75}) {
        EXPECT_LE(std::fabs(centreAcross(s, s.w * f, ey, true, 12, [](Rgb c) { return near(c, kMotorway); })), 2.0)
            << "motorway near pixel " << s.w * f << "," << ey;
        EXPECT_LE(std::fabs(centreAcross(s, ex, s.h * f, false, 12, [](Rgb c) { return near(c, kPrimary); })), 2.0)
            << "primary road near pixel " << ex << "," << s.h * f;
    }
}

// South of Ottawa, an extract of a lake and a peak only: every table of
// the import, the empty roads too, has the types the map file compares.
const char* const kNoRoads = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6" generator="kiv test">
  <node id="1" lat="45.35" lon="-75.72"/> <node id="2" lat="45.35" lon="-75.70"/>
  <node id="3" lat="45.36" lon="-75.70"/> <node id="4" lat="45.36" lon="-75.72"/>
  <node id="5" lat="45.34" lon="-75.69"><tag k="natural" v="peak"/><tag k="name" v="Test Peak"/></node>
  <way id="100"><nd ref="1"/><nd ref="2"/><nd ref="3"/><nd ref="4"/><nd ref="1"/><tag k="natural" v="water"/></way>
</osm>
)";

TEST_F(ImportFixture, AnImportWithoutRoadsDrawsTheSheetsAroundIt) {
    ASSERT_NO_FATAL_FAILURE(importAndStart("lake.osm", kNoRoads));
    for (int level : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        Sheet s;
        fetch(45.35, -75.70, level, (dir / "Maps").string(), &s);
    }
}

// An import made before a table was added (here without road_marks) is
// drawn through a union of its own; an import that brings the table makes
// the layer files draw it, and the union must then have it too.
TEST_F(ImportFixture, AnImportBringingANewTableRemakesTheUnionsMadeBefore) {
    ASSERT_EQ(runCommand(env + script + " import " + q(dir / "test.osm") + " older").status, 0);
    ASSERT_EQ(runCommand("ogrinfo -q " + q(dir / "imports" / "older.gpkg") + " -sql 'DROP TABLE road_marks'").status, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    Sheet before, after;
    fetch(46.5, -78.5, 4, (dir / "Before").string(), &before);
    writeFile(dir / "abroad.osm", kAbroad);
    ASSERT_EQ(runCommand(env + script + " import " + q(dir / "abroad.osm")).status, 0);
    fetch(46.5, -78.5, 4, (dir / "After").string(), &after);
}

// A remove frees the import's space at once, and works on a disk that
// stays full until it does (every write into the imports folder fails
// while any link of the import is there).
TEST_F(ImportFixture, RemoveFreesTheSpaceAtOnceAndWorksOnAFullDisk) {
    for (const char* name : {"gone", "kept"})
        ASSERT_EQ(runCommand(env + script + " import " + q(dir / "test.osm") + " " + name).status, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    Sheet drawn;
    fetch(46.5, -78.5, 3, (dir / "Maps").string(), &drawn);
    struct stat st;
    ASSERT_EQ(stat((dir / "imports" / "gone.gpkg").c_str(), &st), 0);
    fs::path live = dir / "imports" / ".live" / (std::to_string(st.st_ino) + ".gpkg");
    ASSERT_TRUE(fs::exists(live));
    CommandRun r = runCommand("LD_PRELOAD=" FULL_DISK_SHIM " KIV_FULL_DISK_DIR=" + q(dir / "imports") +
                   " KIV_FULL_DISK_FLAG=" + q(live) + " " + env + script + " remove gone");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(runCommand("find " + q(dir / "imports") + " -inum " + std::to_string(st.st_ino)).out, "");
    EXPECT_EQ(runCommand("cut -f1 " + q(dir / "imports" / "imports.index")).out.find(live.string()),
              std::string::npos);
}

// A subway and a tram, and a hiking route E5 along a footway.
const char* const kTrails = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6" generator="kiv test">
  <node id="1" lat="46.503" lon="-78.515"/> <node id="2" lat="46.503" lon="-78.485"/>
  <node id="3" lat="46.4975" lon="-78.515"/> <node id="4" lat="46.4975" lon="-78.485"/>
  <node id="5" lat="46.494" lon="-78.515"/> <node id="6" lat="46.494" lon="-78.485"/>
  <way id="100"><nd ref="1"/><nd ref="2"/><tag k="railway" v="subway"/></way>
  <way id="101"><nd ref="3"/><nd ref="4"/><tag k="railway" v="tram"/></way>
  <way id="102"><nd ref="5"/><nd ref="6"/><tag k="highway" v="footway"/></way>
  <relation id="1"><member type="way" ref="102" role=""/><tag k="type" v="route"/><tag k="route" v="hiking"/>
    <tag k="ref" v="E5"/></relation>
</osm>
)";

// Pixels of one colour within +-across pixels of a parallel, between two
// meridians.
int alongParallel(const Sheet& s, double lat, double west, double east, int across, Rgb colour) {
    int n = 0;
    for (double lon = west; lon <= east; lon += 0.0001) {
        double ex, ey;
        s.place(lat, lon, &ex, &ey);
        for (int d = -across; d <= across; d++) n += near(s.at(static_cast<int>(ex), static_cast<int>(ey) + d), colour);
    }
    return n;
}

TEST_F(ImportFixture, TrailsRailsAndPeaksAtTheSheetEdgeAreDrawn) {
    ASSERT_NO_FATAL_FAILURE(importAndStart("trails.osm", kTrails));
    Sheet fine;
    fetch(46.5, -78.5, 4, (dir / "Fine").string(), &fine);
    const Rgb rail = {60, 60, 60}, route = {130, 50, 160};
    for (double lat : {46.503, 46.4975}) EXPECT_GE(alongParallel(fine, lat, -78.51, -78.49, 3, rail), 100) << lat;
    EXPECT_GE(alongParallel(fine, 46.494, -78.515, -78.485, 10, route), 10) << "no E5 on the hiking route";

    // A peak four pixels inside the east edge of the 1:20k sheet: its
    // name goes where it fits.
    double lat, lon, x = fine.minX + (fine.maxX - fine.minX) * (fine.w - 4.0) / fine.w;
    lcc2ll(&lat, &lon, x, (fine.minY + fine.maxY) / 2);
    char peak[512];
    snprintf(peak, sizeof peak,
             "<osm version=\"0.6\"><node id=\"1\" lat=\"%.7f\" lon=\"%.7f\"><tag k=\"natural\" v=\"peak\"/>"
             "<tag k=\"name\" v=\"Mount Edge\"/></node></osm>\n",
             lat, lon);
    writeFile(dir / "peak.osm", peak);
    ASSERT_EQ(runCommand(env + script + " import " + q(dir / "peak.osm")).status, 0);
    Sheet edge;
    fetch(46.5, -78.5, 4, (dir / "Edge").string(), &edge);
    double px, py;
    edge.place(lat, lon, &px, &py);
    int named = 0;
    for (int y = static_cast<int>(py) - 20; y <= py + 20; y++)
        for (int xx = static_cast<int>(px) - 90; xx < px - 6; xx++) {
            Rgb c = edge.at(xx, y);  // brown lettering, smoothed into the ground
            named += c.r >= 0 && c.r < 200 && c.r > c.b + 25;
        }
    EXPECT_GE(named, 10) << "no peak name near pixel " << px << "," << py;
}

// A lake 1.6 km long and 330 m wide, shorter than its name at 1:50k.
const char* const kNarrowLake = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6" generator="kiv test">
  <node id="1" lat="46.505" lon="-78.52"/> <node id="2" lat="46.505" lon="-78.4992"/>
  <node id="3" lat="46.508" lon="-78.4992"/> <node id="4" lat="46.508" lon="-78.52"/>
  <way id="100"><nd ref="1"/><nd ref="2"/><nd ref="3"/><nd ref="4"/><nd ref="1"/><tag k="natural" v="water"/>
    <tag k="name" v="Lac des Trois Montagnes"/></way>
</osm>
)";

// Its name is drawn all the same, running over the west shore.
TEST_F(ImportFixture, ALakeShorterThanItsNameIsNamed) {
    ASSERT_NO_FATAL_FAILURE(importAndStart("narrow.osm", kNarrowLake));
    Sheet s;
    fetch(46.5065, -78.51, 3, (dir / "Maps").string(), &s);
    double wx, wy, cx, cy;   // the name runs level through the lake's middle
    s.place(46.5065, -78.52, &wx, &wy);
    s.place(46.5065, -78.5096, &cx, &cy);
    int letters = 0;
    for (int y = static_cast<int>(cy) - 6; y <= cy + 6; y++)
        for (int x = static_cast<int>(wx) - 20; x < wx - 3; x++) {
            Rgb c = s.at(x, y);
            letters += c.r >= 0 && c.r < 120 && c.b > c.r + 60;
        }
    EXPECT_GE(letters, 10) << "no lake name west of pixel " << wx << "," << cy;
}

// Abroad the default data name the towns too: Munich on the WMS sheet.
TEST_F(ImportFixture, AbroadWithoutAnImportTheTownsAreNamed) {
    ASSERT_NO_FATAL_FAILURE(start());
    writeFile(dir / "kiv_ini.txt", "Wms=" + root + "/cgi-bin/mapserv\nWmsLayers=topographic\n");
    Sheet s;
    fetch(48.137, 11.575, 2, (dir / "Maps").string(), &s);
    double ex, ey;
    s.place(48.137, 11.575, &ex, &ey);
    int dark = 0;
    for (int y = static_cast<int>(ey) - 20; y <= ey + 20; y++)
        for (int x = static_cast<int>(ex) - 60; x <= ex + 60; x++) dark += ink(s.at(x, y));
    EXPECT_GE(dark, 60) << "no town near pixel " << ex << "," << ey;
}

// By the Ottawa River at 1:20k every blue line of the default data is the
// edge of the water fill (touches it): none runs on land beside it.
TEST_F(ImportFixture, TheShoreLinesAreTheEdgeOfTheWater) {
    ASSERT_NO_FATAL_FAILURE(start());
    Sheet s;
    fetch(45.3833, -75.7667, 4, (dir / "Maps").string(), &s);
    const Rgb fill = {166, 203, 232};
    int lines = 0, apart = 0;
    for (int y = 0; y < s.h; y++)
        for (int x = 0; x < s.w; x++) {
            Rgb c = s.at(x, y);
            if (c.r >= 120 || c.b - c.r <= 80) continue;
            lines++;
            bool wet = false;
            for (int d = 0; d < 9 && !wet; d++) wet = near(s.at(x + d % 3 - 1, y + d / 3 - 1), fill);
            apart += !wet;
        }
    EXPECT_GT(lines, 100);
    EXPECT_LE(apart, 10) << "blue line pixels away from the water";
}

// Abroad the fine sheets draw the full-resolution shorelines, from cells
// built on the first request that needs them (once for two at a time), on
// a cache of their own here: Ichaboe Island off Namibia, 700 m across,
// which the coarse data leave in the sea, is land; where the coast crosses
// 26 S, a cell edge, the water on both sides of the edge agrees.
TEST_F(ImportFixture, FineSheetsAbroadDrawTheFullResolutionShoreBuiltOnce) {
    ASSERT_EQ(runCommand(script + " data").status, 0);
    ASSERT_EQ(runCommand("mkdir " + q(dir / "data") + " && cd \"${KIV_MAPDATA:-${XDG_CACHE_HOME:-$HOME/.cache}/kiv-mapdata}\"" +
                         " && for f in READY* *.*; do ln -s \"$PWD/$f\" " + q(dir / "data") + "/; done && python3 " +
                         q(KIV_SOURCE_DIR "/mapserver/fine_cells.py") + " " + q(dir / "data"))
                  .status,
              0);
    env += "KIV_MAPDATA=" + q(dir / "data") + " ";
    ASSERT_NO_FATAL_FAILURE(start());
    std::string kivsheet = "cd " + q(dir) + " && " + KIVSHEET_PATH + " fetch -26.2925 14.9330 3 --server " + root;
    CommandRun both = runCommand("{ " + kivsheet + " --maps One & " + kivsheet + " --maps Two && wait $!; }");
    ASSERT_EQ(both.status, 0) << both.out;
    CommandRun log = runCommand("grep -c 'built the cell' " + q(dir / "run" / "error.log"));
    EXPECT_EQ(lastLine(log.out), "1") << "cells built for two requests of one sheet";

    Sheet island, edge;
    fetch(-26.2925, 14.9330, 3, (dir / "Maps").string(), &island);
    double x, y;
    island.place(-26.2925, 14.9330, &x, &y);
    EXPECT_FALSE(watery(island.at(static_cast<int>(x), static_cast<int>(y)))) << "the island is not land";
    island.place(-26.2925, 14.9230, &x, &y);
    EXPECT_TRUE(watery(island.at(static_cast<int>(x), static_cast<int>(y)))) << "the sea beside it is not water";

    fetch(-26.0, 14.9554, 4, (dir / "Maps").string(), &edge);
    edge.place(-26.0, 14.9554, &x, &y);
    int row = static_cast<int>(std::lround(y)), apart = 0, wet = 0;
    for (int i = 0; i < edge.w; i++) {
        apart += watery(edge.at(i, row - 2)) != watery(edge.at(i, row + 2));
        wet += watery(edge.at(i, row + 2));
    }
    EXPECT_GT(wet, 20);
    EXPECT_LE(apart, 6) << "the water differs across the cell edge at row " << row;
}

// The borders of the default data run once along every stretch: a dashed
// line drawn twice out of step looks solid (as GMT gives a border shared by
// two of its bins).
TEST_F(ImportFixture, EveryStretchOfBorderIsDrawnOnce) {
    ASSERT_NO_FATAL_FAILURE(start());
    for (const char* layer : {"borders", "world_borders"}) {
        CommandRun r = runCommand(std::string("ogr2ogr -f CSV /vsistdout/ -lco GEOMETRY=AS_WKT "
                                              "\"${KIV_MAPDATA:-${XDG_CACHE_HOME:-$HOME/.cache}/kiv-mapdata}/") +
                                  layer + ".shp\"");
        ASSERT_EQ(r.status, 0) << r.out;
        std::set<std::pair<std::string, std::string>> seen;
        int edges = 0, twice = 0;
        for (size_t open = r.out.find('('); open != std::string::npos; open = r.out.find('(', open + 1)) {
            size_t close = r.out.find(')', open);
            if (r.out[open + 1] == '(' || close == std::string::npos) continue;
            std::stringstream points(r.out.substr(open + 1, close - open - 1));
            std::string prev, point;
            while (std::getline(points, point, ',')) {
                if (!prev.empty()) {
                    edges++;
                    twice += !seen.insert(std::minmax(prev, point)).second;
                }
                prev = point;
            }
        }
        EXPECT_GT(edges, 1000) << layer;
        EXPECT_EQ(twice, 0) << layer << ": stretches drawn twice";
    }
}

// The processes' open files that lie in the imports folder.
std::string openInside(const fs::path& imports) {
    return runCommand("ls -l /proc/[0-9]*/fd 2>/dev/null | grep -F -- " + q(imports.string() + "/")).out;
}

// The server chooses the imports that meet the sheet by their extents:
// twenty far from it leave it as it was and are never opened.
TEST_F(ImportFixture, ImportsOffTheSheetAreNeitherDrawnNorOpened) {
    ASSERT_NO_FATAL_FAILURE(start());
    Sheet before, after, over;
    fetch(45.45, -75.7, 3, (dir / "Before").string(), &before);
    ASSERT_EQ(runCommand(env + script + " import " + q(dir / "test.osm") + " far0").status, 0);
    for (int i = 2; i < 20; i++)
        fs::copy_file(dir / "imports" / "far0.gpkg", dir / "imports" / ("far" + std::to_string(i) + ".gpkg"));
    ASSERT_EQ(runCommand(env + script + " import " + q(dir / "test.osm") + " far1").status, 0);
    fetch(45.45, -75.7, 3, (dir / "After").string(), &after);
    ASSERT_EQ(after.w * after.h, before.w * before.h);
    EXPECT_EQ(memcmp(after.pixels, before.pixels, static_cast<size_t>(after.w) * after.h * 3), 0);
    EXPECT_EQ(openInside(dir / "imports"), "");
    fetch(46.5, -78.5, 3, (dir / "Over").string(), &over);
    EXPECT_NE(openInside(dir / "imports").find(".gpkg"), std::string::npos);
}

// The imports and staging files in the imports folder.
std::string leftovers(const fs::path& imports) {
    return runCommand("cd " + q(imports) + " && (ls -d .staging* *.gpkg 2>/dev/null)").out;
}

// An extract imports whole or not at all, saying why; whatever it lacks;
// under a name that stays in the imports folder, replacing only when asked.
TEST_F(ImportFixture, ExtractsImportWholeOrNotAtAllSayingWhy) {
    std::string make = " && osmium cat -o whole.osm.pbf test.osm && head -c 400 whole.osm.pbf >cut.osm.pbf && bzip2 -k "
                       "test.osm && head -c 300 test.osm.bz2 >cut.osm.bz2 && gzip -k test.osm && head -c 1500 test.osm"
                       " >cut.osm && echo '{}' >foreign.osm && sed 's/node id=\"41\"/node id=\"0\"/' test.osm "
                       ">unsorted.osm && sed '/highway/s/<tag k=\"name\"[^>]*>//' test.osm >nostreets.osm";
    ASSERT_EQ(runCommand("cd " + q(dir) + make).status, 0);
    const char* cases[][2] = {{"cut.osm", "cut short"}, {"cut.osm.pbf", "cut short"}, {"cut.osm.bz2", "cut short"},
                              {"unsorted.osm", "osmium sort"}, {"foreign.osm", "not an OpenStreetMap extract"},
                              {"test.osm ../victim", "letters, digits"}, {"nostreets.osm", "Imported nostreets"},
                              {"test.osm.bz2", "Imported test"}, {"test.osm.gz", "--replace"},
                              {"test.osm.gz --replace", "Replaced the import test"}};
    for (auto [args, says] : cases) {
        CommandRun r = runCommand("cd " + q(dir) + " && " + env + script + " import " + args);
        EXPECT_EQ(r.status == 0, says[0] == 'I' || says[0] == 'R') << args << ": " << r.out;
        EXPECT_NE(r.out.find(says), std::string::npos) << args << ": " << r.out;
    }
    EXPECT_EQ(leftovers(dir / "imports"), "nostreets.gpkg\ntest.gpkg\n");
    writeFile(dir / "victim.gpkg", "kept");
    EXPECT_NE(runCommand(env + script + " remove ../victim").status, 0);
    EXPECT_TRUE(fs::exists(dir / "victim.gpkg"));
}

TEST_F(ImportFixture, ConcurrentAndInterruptedImportsLeaveOnlyWholeImports) {
    // A killed import's staging folder, and an import that waits on a pipe
    // until it is interrupted (the whole process group, as Ctrl-C does; a
    // background job ignores SIGINT).
    fs::create_directories(dir / "imports" / ".staging.killed");
    ASSERT_EQ(mkfifo((dir / "slow.osm.bz2").c_str(), 0600), 0);
    pid_t pid = std::stoi(runCommand(env + "setsid " + script + " import " + q(dir / "slow.osm.bz2") +
                                     " >/dev/null 2>&1 & echo $!").out);
    std::string left;
    for (int i = 0; i < 400 && (left.find(".staging.") != 0 || left.find("killed") != std::string::npos); i++) {
        usleep(50000);
        left = leftovers(dir / "imports");
    }
    kill(-pid, SIGTERM);
    ASSERT_EQ(left.find(".staging."), 0u) << left;
    for (int i = 0; i < 400 && kill(pid, 0) == 0; i++) usleep(50000);
    EXPECT_EQ(leftovers(dir / "imports"), "");

    // Two at once: both whole.
    runCommand("cd " + q(dir) + " && export " + env + "&& { " + script + " import test.osm a & " + script +
               " import test.osm b & wait; }");
    EXPECT_EQ(leftovers(dir / "imports"), "a.gpkg\nb.gpkg\n");
}

// The program's and the map data's folders serve sheets whatever their names
// (the server's and the imports' in every test, see SetUp), or are refused.
TEST_F(ImportFixture, FoldersOfAnyNameServeSheetsOrAreRefusedSayingWhy) {
    ASSERT_EQ(runCommand(script + " data").status, 0);
    for (std::string name : {"kiv $HOME \"q' \\e 100%d `x` [a]* \u00fc", "tab\there"}) {
        fs::path odd = dir / name;
        std::string run = "KIV_MAPDATA=" + q(odd / "data") + " KIV_MAPIMPORTS=" + q(odd / "imports") + " " +
                          q(odd / "mapserver" / "kiv-mapserver.sh");
        CommandRun r = runCommand("mkdir -p " + q(odd) + " && cp -r " + q(KIV_SOURCE_DIR "/mapserver") + " " + q(odd) +
                                  " && ln -s \"${KIV_MAPDATA:-${XDG_CACHE_HOME:-$HOME/.cache}/kiv-mapdata}\" " +
                                  q(odd / "data") + " && " + run + " import " + q(dir / "test.osm") + " 2>&1; " + run +
                                  " start " + q(dir / "run"));
        if (name.find('\t') != std::string::npos) {  // refused at import and at start
            EXPECT_NE(r.out.find("has a tab in its name"), r.out.rfind("has a tab in its name")) << r.out;
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.out;
        root = lastLine(r.out);
        Sheet s;
        fetch(46.5, -78.5, 3, (dir / "Maps").string(), &s);
        int road = 0;
        for (int i = 0; i < s.w * s.h; i++) road += near(s.at(i % s.w, i / s.w), kMotorway);
        EXPECT_GT(road, 100) << "no motorway drawn";
    }
}

TEST_F(ImportFixture, StopLeavesAProcessItDidNotStartAlone) {
    fs::create_directories(dir / "run");
    CommandRun r = runCommand("sleep 60 & echo $! > " + q(dir / "run" / "lighttpd.pid") + "; " + script + " stop " +
                              q(dir / "run") + "; kill -0 $! && echo alive; kill $!");
    EXPECT_NE(r.out.find("alive"), std::string::npos) << r.out;
}

// A server that does not end when asked is killed: stop never leaves an
// orphan behind a removed pid file.
TEST_F(ImportFixture, StopEndsTheServerEvenWhenItIgnoresTheRequest) {
    fs::create_directories(dir / "run");
    runCommand("cd " + q(dir / "run") + " && (sh -c 'trap \"\" TERM; while :; do sleep 1; done' lighttpd " +
               q(dir / "run" / "lighttpd.conf") + " >/dev/null 2>&1 & echo $! > lighttpd.pid)");
    pid_t pid = std::stoi(runCommand("cat " + q(dir / "run" / "lighttpd.pid")).out);
    CommandRun r = runCommand(script + " stop " + q(dir / "run"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(kill(pid, 0) != 0 || runCommand("ps -o stat= -p " + std::to_string(pid)).out.find('Z') == 0);
    kill(pid, SIGKILL);
}

// A WMS GIF that cannot be made from MapServer's PNG is an error to the
// client, not a text page that passes for a sheet.
TEST(GifWorker, AFailedConversionIsAnError) {
    CommandRun r = runCommand("cd " + q(KIV_SOURCE_DIR "/mapserver") +
                              " && KIV_TMP=/tmp KIV_PORT=0 /usr/bin/python3 -c 'import gif_worker as g; "
                              "g.mapserver = lambda q: (\"200 OK\", \"image/png\", b\"no PNG\"); "
                              "print(g.wms(\"SERVICE=WMS&REQUEST=GetMap&FORMAT=image/gif\")[0])'");
    EXPECT_EQ(lastLine(r.out).substr(0, 3), "500") << r.out;
}

// Search: names with accents and ß, two villages of one name, a main road
// and a service road of one name.
const char* const kAccented = R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6" generator="kiv test">
  <node id="1" lat="46.495" lon="-78.56"/> <node id="2" lat="46.495" lon="-78.44"/>
  <node id="3" lat="46.48" lon="-78.49"/> <node id="4" lat="46.52" lon="-78.49"/>
  <node id="5" lat="46.51" lon="-78.52"/> <node id="6" lat="46.51" lon="-78.50"/>
  <node id="7" lat="46.47" lon="-78.52"/> <node id="8" lat="46.47" lon="-78.50"/>
  <node id="40" lat="46.503" lon="-78.470"><tag k="place" v="city"/><tag k="name" v="Montréal"/></node>
  <node id="41" lat="46.488" lon="-78.525"><tag k="place" v="village"/><tag k="name" v="Montréal-Est"/></node>
  <node id="42" lat="46.50" lon="-78.50"><tag k="railway" v="station"/><tag k="name" v="Gare Montréal"/></node>
  <node id="43" lat="46.40" lon="-78.60"><tag k="place" v="village"/><tag k="name" v="Quellmoor"/></node>
  <node id="44" lat="46.60" lon="-78.40"><tag k="place" v="village"/><tag k="name" v="Quellmoor"/></node>
  <way id="100"><nd ref="1"/><nd ref="2"/><tag k="highway" v="primary"/><tag k="name" v="Goethestraße"/></way>
  <way id="101"><nd ref="3"/><nd ref="4"/><tag k="highway" v="service"/><tag k="name" v="Quillfeather Lane"/></way>
  <way id="102"><nd ref="5"/><nd ref="6"/><tag k="highway" v="residential"/><tag k="name" v="Rue de Montréal"/></way>
  <way id="103"><nd ref="7"/><nd ref="8"/><tag k="highway" v="secondary"/><tag k="name" v="Quillfeather Road"/></way>
</osm>
)";

std::vector<std::vector<std::string>> searchLines(const std::string& out) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, '\t');) f.push_back(x);
        lines.push_back(f);
    }
    return lines;
}

struct SearchFixture : ImportFixture {
    void SetUp() override {
        ImportFixture::SetUp();
        writeFile(dir / "accents.osm", kAccented);
        CommandRun r = runCommand(env + script + " import " + q(dir / "accents.osm"));
        ASSERT_EQ(r.status, 0) << r.out;
    }
    // The search's output (stdout only) and status.
    CommandRun search(const std::string& args) {
        return runCommand("(" + env + script + " search " + args + " 2>/dev/null)");
    }
};

TEST_F(SearchFixture, FoldsCaseAccentsAndSharpSAndRanksByMatchImportanceThenDistance) {
    struct Case {
        const char* args;
        std::vector<std::string> first;     // the names the answer starts with, in order
    } cases[] = {
        {"montreal --near 46.49,-78.52",
         {"Montréal", "Montreal", "Montréal-Est", "Gare Montréal", "Rue de Montréal"}},
        {"GOETHESTRASSE", {"Goethestraße"}},
        {"Goethestr", {"Goethestraße"}},
        {"quillfeather --near 46.48,-78.49", {"Quillfeather Road", "Quillfeather Lane"}},
        {"quellmoor --near 46.41,-78.6 --limit 1", {"Quellmoor"}},
    };
    for (const Case& c : cases) {
        CommandRun r = search(c.args);
        ASSERT_EQ(r.status, 0) << c.args << r.out;
        auto lines = searchLines(r.out);
        ASSERT_GE(lines.size(), c.first.size()) << c.args << "\n" << r.out;
        for (size_t i = 0; i < c.first.size(); i++) {
            ASSERT_EQ(lines[i].size(), 5u) << r.out;
            EXPECT_EQ(lines[i][0], c.first[i]) << c.args << "\n" << r.out;
        }
    }
    // The default data's Montreal comes from the towns, the rest from the import.
    auto lines = searchLines(search("montreal --near 46.49,-78.52").out);
    EXPECT_EQ(lines[1][4], "towns");
    EXPECT_EQ(lines[0][4], "accents");
    EXPECT_EQ(lines[0][1], "city");
    // The nearer of two villages of one name comes first, from either side.
    lines = searchLines(search("quellmoor --near 46.59,-78.41 --limit 1").out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][2], "46.600000");
    lines = searchLines(search("quellmoor --near 46.41,-78.6 --limit 1").out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][2], "46.400000");
}

TEST_F(SearchFixture, AnyTextIsPlainTextNeverAQueryError) {
    struct Case {
        std::string text;
        bool findsMontreal;
    } cases[] = {
        {"\"Montréal\"", true}, {"montr*", true}, {"Montréal-", true}, {"-montreal", true},
        {"NEAR(montreal est)", false}, {"montreal OR x", false}, {"montreal AND NOT est", false},
        {"text:montreal", false}, {"{text whole} : montreal", false}, {"^montreal", true},
        {"'", false}, {"\"", false}, {"*", false}, {"-", false}, {"(", false}, {"\\", false},
        {"\xff\xfe montreal", true}, {std::string(10240, 'a'), false},
        {[] { std::string t; while (t.size() < 10240) t += "\" * NEAR( -x OR ^y:"; return t; }(), false},
    };
    for (const Case& c : cases) {
        CommandRun r = runCommand(env + script + " search " + q(c.text) + " --limit 3");
        ASSERT_EQ(r.status, 0) << c.text.substr(0, 60) << "\n" << r.out;
        EXPECT_EQ(r.out.find("rror"), std::string::npos) << c.text.substr(0, 60) << "\n" << r.out;
        EXPECT_EQ(r.out.find("Montréal\tcity") != std::string::npos, c.findsMontreal)
            << c.text.substr(0, 60) << "\n" << r.out;
    }
    // Nothing found: no lines; a search that cannot be made: exit 1 and why.
    CommandRun r = search("zzzzqqq");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = runCommand(env + script + " search montreal --near 95,10");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("--near"), std::string::npos) << r.out;
}

TEST_F(SearchFixture, OlderImportsAreIndexedOnFirstUseADamagedIndexIsSkippedTheServerAnswersToo) {
    fs::path imports = dir / "imports";
    fs::copy_file(imports / "accents.gpkg", imports / "older.gpkg");
    fs::copy_file(imports / "accents.gpkg", imports / "damaged.gpkg");
    writeFile(imports / "damaged.places", "not an index");
    CommandRun r = runCommand(env + script + " search goethestrasse");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\t-78.500000\taccents\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tolder\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("skipping damaged"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(imports / "older.places"));
    // Removed with its import.
    ASSERT_EQ(runCommand(env + script + " remove older").status, 0);
    EXPECT_FALSE(fs::exists(imports / "older.places"));

    // The running server answers the same, through the window's request.
    r = runCommand(env + script + " start " + q(dir / "run"));
    ASSERT_EQ(r.status, 0) << r.out;
    PlaceSearchRequest request;
    request.serverRoot = lastLine(r.out);
    request.text = "montreal";
    request.hasNear = true, request.nearLat = 46.49, request.nearLon = -78.52;
    std::vector<PlaceMatch> found;
    std::vector<std::string> notes;
    std::string reason;
    ASSERT_EQ(place_search_fetch(request, (dir / "reply").string(), nullptr, &found, &notes, &reason), 1) << reason;
    auto lines = searchLines(search("montreal --near 46.49,-78.52").out);
    ASSERT_EQ(found.size(), lines.size());
    for (size_t i = 0; i < found.size(); i++) EXPECT_EQ(found[i].name + "\t" + found[i].source, lines[i][0] + "\t" + lines[i][4]);
    EXPECT_NE(std::string(notes.empty() ? "" : notes[0]).find("damaged"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    for (const char* tool : {"lighttpd", "gmt", "ogr2ogr", "curl", "osmium", "bzip2"})
        if (runCommand(std::string("command -v ") + tool).status != 0 ||
            access("/usr/lib/cgi-bin/mapserv", X_OK) != 0) {
            printf("skipped: %s or MapServer is not installed (scripts/install-deps.sh)\n", tool);
            return 77;
        }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
