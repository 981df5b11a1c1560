// The kivsheet tool, run as a user runs it.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "download_fault_server.h"
#include "maps/area_sheets.h"
#include "maps/jpeg_sheet.h"
#include "maps/png_sheet.h"
#include "maps/sheet_extent.h"
#include "maps/zoom_levels.h"
#include "tests/sheet_test_files.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun run(const std::string& command) {
    std::string cmd = command + " 2>&1";
    ToolRun r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
// Run in dir when given (kiv_ini.txt is read there).
ToolRun kivsheet(const std::string& args, const std::string& dir = "") {
    return run((dir.empty() ? "" : "cd " + dir + " && ") + std::string(KIVSHEET_PATH) + " " + args);
}

const char* record = "200000,1470000.250000,-200000.500000,1450000.125000,-215000.000000,1490000.750000,"
                     "-185000.000000,91.500000";

Bytes gifSheet(const Bytes& indices, int w, int h) {
    Bytes plain = makeGif(w, h, indices);
    unsigned char* out = nullptr;
    size_t size = 0;
    if (!sheet_extent_insert_gif(plain.data(), plain.size(), record, &out, &size)) return {};
    Bytes b(out, out + size);
    free(out);
    return b;
}

}  // namespace

TEST(KivsheetCli, NamesSheetsOfTheStore) {
    ToolRun r = kivsheet("name 45.40 -75.70 2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "./Maps/w070/w075n045/mac_z2_w0754000_n0452000.gif\n");
    r = kivsheet("name 45.40 -75.70 0 --maps /srv/maps");
    EXPECT_EQ(r.out, "/srv/maps/w080/w080n050/mac_z0_w0800000_n0500000.gif\n");
    r = kivsheet("name 45.40 -75.70 2 --big --jpg --zoom-letter s");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "./Maps/w070/w075n045/mad_s2_w0755000_n0452500.jpg\n");
    // kiv_ini.txt names the maps folder and the source whose store holds the sheet.
    TempTree tmp;
    writeBytes(tmp.file("kiv_ini.txt"), Bytes());
    FILE* ini = fopen(tmp.file("kiv_ini.txt").c_str(), "w");
    fprintf(ini, "Maps=%s\nTiles=https://tiles.example.org/{z}/{x}/{y}.png\n", tmp.maps().c_str());
    fclose(ini);
    r = kivsheet("name 45.40 -75.70 2", tmp.root.string());
    EXPECT_EQ(0u, r.out.find(tmp.maps() + "/sources/tiles-")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("/w070/w075n045/mac_z2_w0754000_n0452000.png\n")) << r.out;
    for (const char* bad : {"name 45.4 -75.7 5", "name 45.4 -75.7", "name north -75.7 2", "name 45.4 -75.7 2 --x",
                            "name 95 -75.7 2", "", "frobnicate", "info", "png onlyone", "name nan 1 2", "fetch 87 10 4",
                            "fetch-area --bbox 91 -75 92 -74 --levels 2 --dry-run"}) {
        r = kivsheet(bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_FALSE(r.out.empty()) << bad;
    }
}

TEST(KivsheetCli, InfoOfGifJpegAndPngSheets) {
    TempTree tmp;
    std::string gif = tmp.file("sheet.gif");
    writeBytes(gif, gifSheet(mapLikeIndices(48, 36), 48, 36));
    ToolRun r = kivsheet("info " + gif);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("format: GIF"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("size: 48 x 36"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::string("record: ") + record), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("extent: 1450000.125000 -215000.000000 1490000.750000 -185000.000000"), std::string::npos);

    // A JPEG without a record, named by its magic whatever its extension.
    Bytes rgb = expectedRgb(mapLikeIndices(20, 10));
    std::string jpg = tmp.file("aerial.dat");
    ASSERT_TRUE(jpeg_write_rgb(jpg.c_str(), rgb.data(), 20, 10));
    r = kivsheet("info " + jpg);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("format: JPEG"), std::string::npos);
    EXPECT_NE(r.out.find("size: 20 x 10"), std::string::npos);
    EXPECT_NE(r.out.find("record: none"), std::string::npos);

    r = kivsheet("info " + tmp.file("missing.gif"));
    EXPECT_EQ(r.status, 2);
    std::string text = tmp.file("notes.txt");
    writeBytes(text, Bytes{'h', 'e', 'l', 'l', 'o'});
    r = kivsheet("info " + text);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("not a GIF, PNG or JPEG"), std::string::npos);

    // A WMS sheet: a PNG with its record in a text chunk.
    unsigned char *plain = nullptr, *withRecord = nullptr;
    size_t plainSize = 0, size = 0;
    ASSERT_TRUE(png_write_rgb_memory(rgb.data(), 20, 10, &plain, &plainSize));
    ASSERT_TRUE(png_sheet_insert_extent(plain, plainSize, record, &withRecord, &size));
    std::string png = tmp.file("mac_z2_w0754000_n0452000.png");
    writeBytes(png, Bytes(withRecord, withRecord + size));
    free(plain);
    free(withRecord);
    r = kivsheet("info " + png);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("format: PNG"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::string("record: ") + record), std::string::npos) << r.out;
    EXPECT_EQ(kivsheet("png " + png + " " + tmp.file("copy.png")).status, 0);
}

TEST(KivsheetCli, PngOfASheetReadsBackWithLibpng) {
    TempTree tmp;
    const int w = 33, h = 17;
    Bytes indices = mapLikeIndices(w, h);
    std::string gif = tmp.file("sheet.gif");
    writeBytes(gif, gifSheet(indices, w, h));
    std::string out = tmp.file("sheet.png");
    ToolRun r = kivsheet("png " + gif + " " + out);
    ASSERT_EQ(r.status, 0) << r.out;
    Bytes png = readBytes(out);
    ASSERT_GT(png.size(), 24u);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(0, memcmp(png.data(), signature, 8));
    EXPECT_EQ(0, memcmp(png.data() + 12, "IHDR", 4));

    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, out.c_str()));
    EXPECT_EQ(image.width, static_cast<unsigned>(w));
    EXPECT_EQ(image.height, static_cast<unsigned>(h));
    image.format = PNG_FORMAT_RGB;
    Bytes decoded(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr));
    EXPECT_EQ(decoded, expectedRgb(indices));

    // A damaged sheet is an error, and the tool leaves the file alone.
    std::string bad = tmp.file("bad.gif");
    writeBytes(bad, Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0});
    r = kivsheet("png " + bad + " " + tmp.file("bad.png"));
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::filesystem::exists(bad));
    EXPECT_FALSE(std::filesystem::exists(tmp.file("bad.png")));
    r = kivsheet("png " + gif + " " + tmp.file("no/such/dir/x.png"));
    EXPECT_EQ(r.status, 2);
}

// The sheets of an area: every grid point nearest some point of it, once.
TEST(AreaSheets, BoxesCorridorsAndLevelLists) {
    struct Box {
        double s, w, n, e;
        int level, big, count;
    } boxes[] = {
        {45.40, -75.70, 45.40, -75.70, 2, 0, 1},            // one point
        {45.30, -75.90, 45.60, -75.40, 2, 0, 3 * 4},        // 2 steps north, 3 east (10')
        {45.30, -75.90, 45.60, -75.40, 2, 1, 3 * 3},        // big sheets: 20' of longitude, 76 to 75 20'
        {45.36, -75.70, 45.44, -75.60, 4, 0, 5 * 7},        // 1' steps; edges snap to the nearest point
        {48.0, 7.0, 48.1, 12.0, 4, 0, 1989},                 // Web Mercator sheets, counted without listing
        {45.60, -75.70, 45.40, -75.60, 2, 0, -1},           // south above north
    };
    for (const Box& b : boxes) {
        std::vector<AreaSheet> out;
        int n = area_sheets_in_box(b.s, b.w, b.n, b.e, b.level, b.big, &out);
        EXPECT_EQ(b.count, n) << b.s << " " << b.w << " level " << b.level << " big " << b.big;
        EXPECT_EQ(b.count, area_sheets_count_in_box(b.s, b.w, b.n, b.e, b.level, b.big));
        if (n > 0) {
            EXPECT_EQ(0, area_sheets_in_box(b.s, b.w, b.n, b.e, b.level, b.big, &out));   // no repeats
        }
    }
    // A diagonal route with no corridor: the sheet under every point of it is in the list.
    std::vector<AreaPoint> route = {{45.30, -75.90}, {45.55, -75.41}, {45.20, -75.30}};
    std::vector<AreaSheet> along;
    ASSERT_GT(area_sheets_along({route}, 0, 4, 0, &along), 0);
    for (size_t leg = 1; leg < route.size(); leg++)
        for (int k = 0; k <= 1000; k++) {
            double f = k / 1000.0, lat = route[leg - 1].lat + f * (route[leg].lat - route[leg - 1].lat),
                   lon = route[leg - 1].lon + f * (route[leg].lon - route[leg - 1].lon);
            double sl = zoom_level_snap_latitude(lat, 4, 0), so = zoom_level_snap_longitude(lon, 4, 0);
            bool found = std::any_of(along.begin(), along.end(),
                                     [&](const AreaSheet& a) { return a.lat == sl && a.lon == so; });
            ASSERT_TRUE(found) << "no sheet for " << lat << " " << lon;
        }
    struct Levels {
        const char* text;
        int mask;
    } levels[] = {{"2-4", 0x1C}, {"3", 0x08}, {"0,3-4", 0x19}, {"5", 0}, {"4-2", 0}, {"x", 0}, {"2-", 0}};
    for (const Levels& l : levels) EXPECT_EQ(l.mask, area_parse_levels(l.text)) << l.text;
}

// fetch says on standard error why no sheet came, naming the file a WMS
// stores; the WMS keys reach the server whole and encoded.
TEST(KivsheetCli, FetchSaysWhyNoSheetCame) {
    FaultServer server([](const std::string& line) -> FaultReply {
        if (line.rfind("GET /wms?", 0) == 0)
            return faultOk("<ServiceExceptionReport><ServiceException>Layer top o&amp;graphic is unknown"
                           "</ServiceException></ServiceExceptionReport>",
                           "text/xml");
        return faultStatus(500, "Internal Server Error", "<html>down</html>");
    });
    TempTree tmp;
    std::string fetch = "fetch 45.4 -75.7 2 --maps " + tmp.maps(), ini = tmp.file("kiv_ini.txt");
    auto settings = [&](const std::string& text) { writeBytes(ini, Bytes(text.begin(), text.end())); };
    settings("Wms=" + server.root() + "/wms\nWmsLayers=top o&graphic\nWmsStyles=s 1 \n");
    ToolRun r = kivsheet(fetch, tmp.root);
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos,
              r.out.find("mac_z2_w0754000_n0452000.png: The map service sent no sheet: Layer top o&graphic is unknown"))
        << r.out;
    ASSERT_EQ(1, server.requestCount());
    EXPECT_NE(std::string::npos, server.requests()[0].find("&LAYERS=top%20o%26graphic&STYLES=s%201&"))
        << server.requests()[0];

    settings("Server=" + server.root() + "\n");
    r = kivsheet(fetch, tmp.root);
    EXPECT_NE(std::string::npos, r.out.find("mac_z2_w0754000_n0452000.gif: The map server answered HTTP 500")) << r.out;

    // Too long for a request: refused with a word, the map server asked instead.
    settings("Wms=" + server.root() + "/" + std::string(1100, 'w') + "\nServer=" + server.root() + "\n");
    r = kivsheet(fetch, tmp.root);
    EXPECT_NE(std::string::npos, r.out.find("kivsheet: The setting Wms= in kiv_ini.txt is longer than 1023 characters"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("The map server answered HTTP 500")) << r.out;
}

// fetch-area against a loopback map server: the dry run counts, the run
// fills the store with a line per sheet and a summary, a second run finds
// everything stored; fetch-route over a track log asks only for what its
// corridor lacks; a failed sheet is tried again; the progress bar fits a
// narrow terminal; a server that fails sheet after sheet stops the run.
TEST(KivsheetCli, FetchAreaFillsTheStoreAndResumes) {
    std::atomic<int> images{0};
    std::atomic<bool> failing{false}, failOnce{false};   // failOnce: the next request fails
    FaultServer server([&](const std::string& line) -> FaultReply {
        if (failing || failOnce.exchange(false)) return faultStatus(500, "Internal Server Error", "<html>down</html>");
        if (line.rfind("GET /cgi-bin/mapserv?", 0) == 0)
            return faultOk("<tr><td>mapext</td><td>1450000 -215000 1490000 -185000</td></tr>\n"
                           "<tr><td>image</td><td>/tmp/ntdb1.gif</td></tr>\n");
        images++;
        Bytes gif = makeGif(480, 360, Bytes(480 * 360, 7));
        return faultOk(std::string(gif.begin(), gif.end()), "image/gif");
    });
    auto dir = std::filesystem::temp_directory_path() / ("kiv_area_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string common = " --server " + server.root() + "/ --maps " + dir.string() + "/Maps";
    std::string area = "fetch-area --bbox 45.36 -75.70 45.44 -75.60 --levels 3-4" + common;

    ToolRun r = kivsheet(area + " --dry-run");
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("44 sheets, 0 stored, 44 to fetch, about ")) << r.out;
    EXPECT_EQ(0, images.load());

    r = kivsheet(area + " --jobs 3");
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_EQ(44, images.load());
    size_t lines = 0;
    for (size_t at = 0; (at = r.out.find("\nfetched ", at)) != std::string::npos; at++) lines++;
    EXPECT_EQ(44u, lines) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("44 fetched (")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("0 failed")) << r.out;

    r = kivsheet(area);
    EXPECT_NE(std::string::npos, r.out.find("44 sheets, 44 stored, 0 to fetch")) << r.out;
    EXPECT_EQ(44, images.load());

    // Along the area's south edge and a little beyond it at level 4.
    std::ofstream(dir / "track.txt") << "45.36 -75.70 - 2024/05/01 10:00:00\n45.36 -75.55 - 2024/05/01 10:10:00\n";
    r = kivsheet("fetch-route " + (dir / "track.txt").string() + " --corridor 0 --levels 4" + common);
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("10 sheets, 7 stored, 3 to fetch")) << r.out;
    EXPECT_EQ(47, images.load());

    // Two short tracks 150 km apart and a waypoint between them: each is
    // followed on its own (joined, they would need some 200 sheets).
    std::ofstream(dir / "two.gpx") << "<gpx version=\"1.1\"><wpt lat=\"45.5\" lon=\"-74.6\"/>"
                                      "<trk><trkseg><trkpt lat=\"45.4\" lon=\"-75.7\"/>"
                                      "<trkpt lat=\"45.42\" lon=\"-75.68\"/></trkseg></trk>"
                                      "<trk><trkseg><trkpt lat=\"45.5\" lon=\"-73.6\"/>"
                                      "<trkpt lat=\"45.52\" lon=\"-73.58\"/></trkseg></trk></gpx>";
    r = kivsheet("fetch-route " + (dir / "two.gpx").string() + " --corridor 1 --levels 4 --dry-run" + common);
    EXPECT_TRUE(std::atoi(r.out.c_str()) >= 3 && std::atoi(r.out.c_str()) <= 60) << r.out;

    // A continent at the finest level is counted, not listed, and not
    // fetched without --force.
    r = kivsheet("fetch-area --bbox 40 -150 75 -45 --levels 4 --dry-run" + common);
    EXPECT_EQ(0u, r.out.find("13238401 sheets, about ")) << r.out;
    r = kivsheet("fetch-area --bbox 40 -150 75 -45 --levels 4" + common);
    EXPECT_EQ(2, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("add --force")) << r.out;
    EXPECT_EQ(47, images.load());

    // A sheet whose first try fails is tried again.
    failOnce = true;
    r = kivsheet("fetch-area --bbox 45.5 -75.7 45.5 -75.7 --levels 4" + common);
    EXPECT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("1 fetched")) << r.out;

    // On a terminal 40 columns wide each redraw of the bar (the text before a
    // carriage return that does not end the line) fits in the line.
    std::filesystem::remove_all(dir / "Maps");
    ToolRun tty = run("script -qec 'stty cols 40 rows 10; " + std::string(KIVSHEET_PATH) +
                      " fetch-area --bbox 45.36 -75.70 45.44 -75.60 --levels 3 " + common + "' /dev/null");
    size_t redraws = 0;
    for (size_t at = 0; (at = tty.out.find('\r', at + 1)) != std::string::npos;) {
        if (tty.out[at + 1] == '\n') continue;
        size_t start = tty.out.find_last_of("\r\n", at - 1) + 1;
        EXPECT_LT(at - start, 40u) << tty.out.substr(start, at - start);
        redraws++;
    }
    EXPECT_GT(redraws, 0u) << tty.out;

    // A server that fails sheet after sheet: the run stops, with one message.
    failing = true;
    r = kivsheet("fetch-area --bbox 45.2 -75.7 45.3 -75.6 --levels 4 --jobs 3" + common);
    EXPECT_EQ(2, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("does not answer with sheets: stopped after 3 sheets")) << r.out;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

// fetch anywhere: a sheet in the position's own plane whose extent contains
// it, through a WMS or, without one, through the old request naming the
// local map server's Web Mercator map file.
TEST(KivsheetCli, FetchesSheetsAnywhere) {
    std::vector<std::string> crs, mapFiles;
    FaultServer server([&](const std::string& line) -> FaultReply {
        if (line.rfind("GET /cgi-bin/mapserv?map=", 0) == 0) {
            mapFiles.push_back(line.substr(25, line.find('&') - 25));
            double x = 0, y = 0;
            sscanf(line.c_str() + line.find("mapxy=") + 6, "%lf%%20%lf", &x, &y);
            char page[256];
            snprintf(page, sizeof page, "<td>mapext</td><td>%f %f %f %f</td>\n<td>image</td><td>ntdb1.gif</td>\n",
                     x - 2e4, y - 15e3, x + 2e4, y + 15e3);
            return faultOk(page);
        }
        crs.push_back(line.substr(line.find("RS=EPSG:") + 3, 9));
        Bytes gif = makeGif(480, 360, Bytes(480 * 360, 7));
        return faultOk(std::string(gif.begin(), gif.end()), "image/gif");
    });
    TempTree tmp;
    bool wms = false;
    for (std::string place : {"48.136 10.0696", "82.50 -62.35", "37.8076 -122.3004", "-33.86 151.21"}) {
        ToolRun r = kivsheet("fetch " + place + " 4 --maps Maps --server " + server.root() + "/", tmp.root);
        ASSERT_EQ(0, r.status) << r.out;
        std::string info = kivsheet("info " + tmp.root.string() + "/" + r.out.substr(0, r.out.size() - 1)).out;
        std::string plane = info.find(",3857\n") != std::string::npos ? "EPSG:3857" : "EPSG:3978";
        if (wms) EXPECT_EQ(crs.back(), plane) << place;
        else EXPECT_EQ("/home/atlas/mapdata/english/toporama_3857.map", mapFiles.back()) << place;
        std::string xy = run("echo " + place + " | cs2cs -f %.3f EPSG:4326 " + plane).out;
        double x0, y0, x1, y1, x, y;
        ASSERT_EQ(sscanf(info.c_str() + info.find("extent: "), "extent: %lf %lf %lf %lf", &x0, &y0, &x1, &y1), 4);
        ASSERT_EQ(sscanf(xy.c_str(), "%lf %lf", &x, &y), 2) << xy;
        EXPECT_TRUE(x > x0 && x < x1 && y > y0 && y < y1) << place << " " << info;
        if (!wms) std::ofstream(tmp.file("kiv_ini.txt")) << "Wms=" << server.root() << "/wms\n";
        wms = true;
    }
}
