// Sheet downloads from the project's local map server (MapServer behind
// lighttpd, started once for the whole binary): every level and size,
// topographic and aerial, east and west of the central meridian, and the
// geometry from the server's pixels back to the projection.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "maps/lcc.h"
#include "maps/map_view.h"
#include "maps/sheet_download.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/view_plane.h"
#include "maps/wms_request.h"
#include "maps/zoom_levels.h"
#include "net/http_client.h"
#include "platform/headless.h"
#include "settings/app_settings.h"
#include "settings/settings_load.h"
#include "sheet_test_files.h"
#include "tests/net_peer.h"

namespace fs = std::filesystem;

namespace {

struct CommandRun {
    int status = -1;
    std::string out;
};

CommandRun runCommand(const std::string& command) {
    CommandRun r;
    FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

bool onPath(const char* program) {
    return runCommand(std::string("command -v ") + program).status == 0;
}

// The one local map server of this binary.
struct LocalMapServer : ::testing::Environment {
    static inline std::string root, unavailable, startError;
    std::string runDir;
    std::string script = std::string(KIV_SOURCE_DIR) + "/mapserver/kiv-mapserver.sh";

    void SetUp() override {
        const char* needed[] = {"lighttpd", "gmt", "ogr2ogr", "curl"};
        if (access("/usr/lib/cgi-bin/mapserv", X_OK) != 0) unavailable = "/usr/lib/cgi-bin/mapserv";
        for (const char* p : needed)
            if (unavailable.empty() && !onPath(p)) unavailable = p;
        if (!unavailable.empty()) {
            printf("KIV-MAPSERVER-UNAVAILABLE: %s is not installed (scripts/install-deps.sh)\n",
                   unavailable.c_str());
            return;
        }
        char pattern[] = "/tmp/kiv_dl_server_XXXXXX";
        runDir = mkdtemp(pattern);
        // The first start builds the data cache (a minute or two, once).
        CommandRun r = runCommand("timeout 800 " + script + " start " + runDir);
        std::string out = r.out;
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
        out = out.substr(out.find_last_of('\n') == std::string::npos ? 0 : out.find_last_of('\n') + 1);
        if (r.status != 0 || out.rfind("http://", 0) != 0)
            startError = "kiv-mapserver.sh start failed (status " + std::to_string(r.status) + "): " + r.out;
        else
            root = out;
    }
    void TearDown() override {
        if (runDir.empty()) return;
        runCommand(script + " stop " + runDir);
        std::error_code ec;
        fs::remove_all(runDir, ec);
    }
};

#define NEED_SERVER()                                                                        \
    do {                                                                                     \
        if (!LocalMapServer::unavailable.empty())                                            \
            GTEST_SKIP() << "local map server not available: " << LocalMapServer::unavailable \
                         << " is not installed";                                             \
        ASSERT_TRUE(LocalMapServer::startError.empty()) << LocalMapServer::startError;       \
    } while (0)

struct Extent {
    double minX, minY, maxX, maxY;
};

// The reply's mapext row, read by a pattern of its own.
bool replyExtent(const std::string& url, Extent* e) {
    std::string file = "reply_check.htm";
    if (!HttpGetToFile(url.c_str(), file.c_str())) return false;
    Bytes b = readBytes(file);
    remove(file.c_str());
    std::string page(b.begin(), b.end());
    std::smatch m;
    static const std::regex row(R"(<td>mapext</td><td>(\S+) (\S+) (\S+) (\S+)</td>)");
    if (!std::regex_search(page, m, row)) return false;
    *e = {std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4])};
    return true;
}

class LocalServer : public ::testing::Test {
protected:
    TempTree tree;
    fs::path oldCwd = fs::current_path();
    std::unique_ptr<AppSettings> settings = std::make_unique<AppSettings>();
    char path[SHEET_PATH_MAX] = {};

    void SetUp() override {
        fs::current_path(tree.root);
        settings_defaults(settings.get());
        snprintf(settings->mapsDir, sizeof settings->mapsDir, "%s", tree.maps().c_str());
        snprintf(settings->serverUrl, sizeof settings->serverUrl, "%s", LocalMapServer::root.c_str());
        headless_install();
    }
    void TearDown() override { fs::current_path(oldCwd); }

    // Downloads and checks one sheet; returns its stored extent.
    void fetchAndCheck(double lat, double lon, int level, int big, int aerial, Extent* stored) {
        SCOPED_TRACE(testing::Message() << lat << " " << lon << " level " << level << (big ? " big" : "")
                                        << (aerial ? " aerial" : ""));
        int format = aerial ? SHEET_JPEG : SHEET_GIF;
        ASSERT_TRUE((aerial ? sheet_download_aerial(lat, lon, level, settings.get(), path, big)
                            : sheet_download_topo(lat, lon, level, settings.get(), path, big, 1, 1))
                        .ok);
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        ASSERT_EQ(sheet_image_decode_file(path, format, &pixels, &w, &h), 1);
        free(pixels);
        EXPECT_EQ(w, view_sheet_width(big));
        EXPECT_EQ(h, view_sheet_height(big));

        double cx, cy;
        Extent e;
        bool read = aerial ? sheet_extent_read_stored_jpeg(lat, lon, level, tree.maps().c_str(), big, &cx, &cy, &e.minX,
                                                  &e.minY, &e.maxX, &e.maxY)
                           : sheet_extent_read_stored(lat, lon, level, tree.maps().c_str(), big, &cx, &cy, &e.minX,
                                              &e.minY, &e.maxX, &e.maxY);
        ASSERT_TRUE(read);
        // The same request again, for the reply's own mapext.
        double x, y, angle;
        ASSERT_EQ(sheet_download_centre_and_angle(lat, lon, &x, &y, &angle), 1);
        char url[SHEET_URL_MAX];
        if (aerial)
            sheet_download_aerial_url(url, sizeof url, LocalMapServer::root.c_str(), x, y, zoom_level_scale(level), big);
        else
            sheet_download_topo_url(url, sizeof url, LocalMapServer::root.c_str(), x, y, zoom_level_scale(level), big, 1, 1,
                                angle);
        Extent r;
        ASSERT_TRUE(replyExtent(url, &r));
        EXPECT_NEAR(e.minX, r.minX, 1e-6);
        EXPECT_NEAR(e.minY, r.minY, 1e-6);
        EXPECT_NEAR(e.maxX, r.maxX, 1e-6);
        EXPECT_NEAR(e.maxY, r.maxY, 1e-6);
        EXPECT_NEAR(cx, x, 1e-6);
        EXPECT_NEAR(cy, y, 1e-6);
        // Centred on the request, edge pixel centres (W - 1) x c apart.
        double c = zoom_level_scale(level) / (72 * 39.3701);
        EXPECT_NEAR((e.minX + e.maxX) / 2, x, 0.01);
        EXPECT_NEAR((e.minY + e.maxY) / 2, y, 0.01);
        EXPECT_NEAR(e.maxX - e.minX, (w - 1) * c, 0.01);
        EXPECT_NEAR(e.maxY - e.minY, (h - 1) * c, 0.01);
        if (aerial) {
            Bytes b = readBytes(path);
            ASSERT_GT(b.size(), SHEET_JPEG_RECORD_OFFSET + 4u);
            EXPECT_EQ(b[SHEET_JPEG_RECORD_OFFSET], 0xFF);
            EXPECT_EQ(b[SHEET_JPEG_RECORD_OFFSET + 1], 0xFE);
        }
        *stored = e;
    }
};

// The map server lives on between requests: two replies in one second still
// name two images, so that neither sheet gets the other's.
TEST_F(LocalServer, RepliesInOneSecondNameImagesOfTheirOwn) {
    NEED_SERVER();
    double x, y, angle;
    ASSERT_EQ(sheet_download_centre_and_angle(45.4, -75.7, &x, &y, &angle), 1);
    std::string names[2];
    for (int aerial : {0, 1}) {
        char url[SHEET_URL_MAX];
        if (aerial) sheet_download_aerial_url(url, sizeof url, LocalMapServer::root.c_str(), x, y, 50000, 0);
        else sheet_download_topo_url(url, sizeof url, LocalMapServer::root.c_str(), x, y, 50000, 0, 0, 0, angle);
        ASSERT_TRUE(HttpGetToFile(url, "reply_check.htm"));
        Bytes b = readBytes("reply_check.htm");
        std::smatch m;
        std::string page(b.begin(), b.end());
        ASSERT_TRUE(std::regex_search(page, m, std::regex(R"(<td>image</td><td>(\S+)</td>)"))) << page;
        names[aerial] = m[1];
    }
    EXPECT_NE(names[0], names[1]);
}

TEST_F(LocalServer, EveryLevelAndSizeEastAndWestOfTheCentralMeridian) {
    NEED_SERVER();
    const double points[][2] = {{45.4215, -75.6972}, {50.0, -105.0}};
    for (const auto& p : points)
        for (int level = 0; level <= ZOOM_FINEST; level++)
            for (int big = 0; big <= 1; big++) {
                double lat = zoom_level_snap_latitude(p[0], level, 0), lon = zoom_level_snap_longitude(p[1], level, big);
                Extent e;
                fetchAndCheck(lat, lon, level, big, 0, &e);
            }
    // Nothing but the sheets is left.
    for (const auto& f : fs::recursive_directory_iterator(tree.root)) {
        if (!f.is_regular_file()) continue;
        EXPECT_EQ(f.path().filename().string().rfind("ma", 0), 0u) << f.path();
    }
}

TEST_F(LocalServer, AerialSheetsAreJpegWithTheRecordAfterTheFixedPrefix) {
    NEED_SERVER();
    struct {
        double lat, lon;
        int level, big;
    } cases[] = {{45.4215, -75.6972, 2, 0}, {45.4215, -75.6972, 4, 1}, {50.0, -105.0, 1, 0}};
    for (const auto& c : cases) {
        double lat = zoom_level_snap_latitude(c.lat, c.level, 0), lon = zoom_level_snap_longitude(c.lon, c.level, c.big);
        Extent e;
        fetchAndCheck(lat, lon, c.level, c.big, 1, &e);
    }
    EXPECT_EQ(headless_calls_of("message_box").size(), 0u);
}

// The centre of the town square: the middle of the 5 x 5 windows that are
// all dark near the expected pixel, refined by the darkness of the pixels
// around it. False when no such square is there.
bool squareCentre(const unsigned char* rgb, int w, int h, double ex, double ey, double* cx, double* cy, int half) {
    auto value = [&](int x, int y) {
        const unsigned char* p = rgb + (static_cast<size_t>(y) * w + x) * 3;
        return (p[0] + p[1] + p[2]) / 3.0;
    };
    auto dark = [&](int x, int y) { return value(x, y) <= 70; };
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = static_cast<int>(ey) - 12; y <= static_cast<int>(ey) + 12; y++)
        for (int x = static_cast<int>(ex) - 12; x <= static_cast<int>(ex) + 12; x++) {
            if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2) continue;
            bool all = true;
            for (int dy = -half; dy <= half && all; dy++)
                for (int dx = -half; dx <= half && all; dx++) all = dark(x + dx, y + dy);
            if (all) {
                sx += x;
                sy += y;
                n++;
            }
        }
    if (n == 0) return false;
    int mx = static_cast<int>(std::lround(sx / n)), my = static_cast<int>(std::lround(sy / n));
    // Background from the ring around the square; darkness weights within.
    std::vector<double> ring;
    for (int d = -6; d <= 6; d++) {
        for (int s : {-6, 6}) {
            if (mx + d >= 0 && mx + d < w && my + s >= 0 && my + s < h) ring.push_back(value(mx + d, my + s));
            if (mx + s >= 0 && mx + s < w && my + d >= 0 && my + d < h) ring.push_back(value(mx + s, my + d));
        }
    }
    std::sort(ring.begin(), ring.end());
    double background = ring.empty() ? 250 : ring[ring.size() / 2];
    double wsum = 0, wx = 0, wy = 0;
    for (int y = my - 5; y <= my + 5; y++)
        for (int x = mx - 5; x <= mx + 5; x++) {
            if (x < 0 || y < 0 || x >= w || y >= h) continue;
            double wgt = std::clamp((background - value(x, y)) / (background - 30.0), 0.0, 1.0);
            wsum += wgt;
            wx += wgt * x;
            wy += wgt * y;
        }
    *cx = wsum > 0 ? wx / wsum : mx;
    *cy = wsum > 0 ? wy / wsum : my;
    return true;
}

// Where the Ottawa town square lies on a stored sheet against the pixel
// the program places Ottawa on. 0 when Ottawa is not well inside the
// sheet, -1 when no square is found, else 1 with the offsets.
int ottawaMarker(const char* path, int format, double slat, double slon, int level, int big,
                 const std::string& mapsDir, double* dx, double* dy, double* exact, int half = 2) {
    const double lat = 45.4215, lon = -75.6972;
    double x, y;
    if (!ll2lcc(&x, &y, lat, lon)) return -1;
    double cx, cy, minX, minY, maxX, maxY;
    if (!sheet_extent_read_stored(slat, slon, level, mapsDir.c_str(), big, &cx, &cy, &minX, &minY, &maxX, &maxY)) return -1;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    if (!sheet_image_decode_file(path, format, &pixels, &w, &h)) return -1;
    // The pixel the program places the position on.
    int px = static_cast<int>(std::floor(w * (x - minX) / (maxX - minX)));
    int py = h - 1 - static_cast<int>(std::floor(h * (y - minY) / (maxY - minY)));
    // The same point with the extent read as edge pixel centres.
    double ux = (x - minX) / (maxX - minX) * (w - 1), uy = (maxY - y) / (maxY - minY) * (h - 1);
    if (px < 12 || py < 12 || px >= w - 12 || py >= h - 12) {
        free(pixels);
        return 0;
    }
    double mx = 0, my = 0;
    bool found = squareCentre(pixels, w, h, px, py, &mx, &my, half);
    free(pixels);
    if (!found) return -1;
    *dx = mx - px;
    *dy = my - py;
    *exact = std::hypot(mx - ux, my - uy);
    printf("level %d %s: marker centre %.2f,%.2f  program pixel %d,%d (error %.2f px)  "
           "edge-centre reading %.2f,%.2f (error %.2f px)\n",
           level, big ? "big  " : "small", mx, my, px, py, std::hypot(*dx, *dy), ux, uy, *exact);
    return 1;
}

TEST_F(LocalServer, OttawaMarkerLiesWhereTheProjectionPutsIt) {
    NEED_SERVER();
    double worst = 0, worstExact = 0;
    int checked = 0;
    for (int level = 0; level <= ZOOM_FINEST; level++)
        for (int big = 0; big <= 1; big++) {
            SCOPED_TRACE(testing::Message() << "level " << level << (big ? " big" : ""));
            double slat = zoom_level_snap_latitude(45.4215, level, 0), slon = zoom_level_snap_longitude(-75.6972, level, big);
            // No grid, no arrow: only the map around the marker.
            ASSERT_TRUE(sheet_download_topo(slat, slon, level, settings.get(), path, big, 0, 0).ok);
            double dx = 0, dy = 0, exact = 0;
            int r = ottawaMarker(path, SHEET_GIF, slat, slon, level, big, tree.maps(), &dx, &dy, &exact);
            ASSERT_GE(r, 0) << "no town square near Ottawa's pixel";
            if (r == 0) continue;   // Ottawa is not well inside this sheet
            EXPECT_LE(std::fabs(dx), 2.0);
            EXPECT_LE(std::fabs(dy), 2.0);
            worst = std::max(worst, std::hypot(dx, dy));
            worstExact = std::max(worstExact, exact);
            checked++;
        }
    printf("Ottawa marker: %d sheets, largest error %.2f px (program pixel), %.2f px (edge-centre reading)\n",
           checked, worst, worstExact);
    EXPECT_GE(checked, 8);
}

// The same sheets through the server's WMS: stored as PNG, the record the
// requested box, Ottawa's square under the program's pixel.
TEST_F(LocalServer, WmsSheetsOfEveryLevelPutOttawaWhereTheProjectionDoes) {
    NEED_SERVER();
    std::string wms = LocalMapServer::root + "/cgi-bin/mapserv";
    snprintf(settings->wms.url, sizeof settings->wms.url, "%s", wms.c_str());
    snprintf(settings->wms.layers, sizeof settings->wms.layers, "topographic");
    double worst = 0;
    int checked = 0;
    for (int level = 0; level <= ZOOM_FINEST; level++)
        for (int big = 0; big <= 1; big++) {
            SCOPED_TRACE(testing::Message() << "level " << level << (big ? " big" : ""));
            double slat = zoom_level_snap_latitude(45.4215, level, 0), slon = zoom_level_snap_longitude(-75.6972, level, big);
            ASSERT_TRUE(sheet_download_topo(slat, slon, level, settings.get(), path, big, 0, 0).ok);
            char png[SHEET_PATH_MAX];
            sheet_path(png, sizeof png, tree.maps().c_str(), slat, slon, level, big, SHEET_PNG);
            EXPECT_STREQ(path, png);
            double x, y, angle, cx, cy;
            Extent e;
            ASSERT_EQ(sheet_download_centre_and_angle(slat, slon, &x, &y, &angle), 1);
            WmsBox b = wms_sheet_box(x, y, zoom_level_scale(level), view_sheet_width(big), view_sheet_height(big));
            ASSERT_TRUE(sheet_extent_read_stored(slat, slon, level, tree.maps().c_str(), big, &cx, &cy, &e.minX, &e.minY,
                                         &e.maxX, &e.maxY));
            EXPECT_EQ(e.minX, b.minX);
            EXPECT_EQ(e.maxY, b.maxY);
            double dx = 0, dy = 0, exact = 0;
            int r = ottawaMarker(path, SHEET_PNG, slat, slon, level, big, tree.maps(), &dx, &dy, &exact);
            ASSERT_GE(r, 0) << "no town square near Ottawa's pixel";
            // At 1:10,000,000 Ottawa's square runs into Gatineau's and the
            // roads between: its centre is not a point to measure against.
            if (r == 0 || level == 0) continue;
            EXPECT_LE(std::fabs(dx), 2.0);
            EXPECT_LE(std::fabs(dy), 2.0);
            worst = std::max(worst, std::hypot(dx, dy));
            checked++;
        }
    printf("Ottawa marker through WMS: %d sheets, largest error %.2f px\n", checked, worst);
    EXPECT_GE(checked, 6);
    EXPECT_EQ(headless_calls_of("message_box").size(), 0u);
}

// Sheets made from the server's own Web Mercator tiles (MapServer's tile
// mode) line up with its WMS sheets: Ottawa's square under the program's
// pixel, within the same two pixels. The square comes out smaller, drawn
// at the finer zoom of the tiles (a 3 x 3 core is sought), and MapServer
// leaves out a label whose box crosses a tile's edge (its square with it):
// such a level is passed over.
TEST_F(LocalServer, TileSheetsPutOttawaWhereTheWmsSheetsDo) {
    NEED_SERVER();
    snprintf(settings->tiles.url, sizeof settings->tiles.url,
             "%s/cgi-bin/mapserv?map=WMS&mode=tile&tilemode=gmap&tile={x}+{y}+{z}&layers=water%%20shore%%20rivers%%20"
             "borders%%20towns",
             LocalMapServer::root.c_str());
    int checked = 0;
    for (int level = 1; level <= ZOOM_FINEST; level++) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        double slat = zoom_level_snap_latitude(45.4215, level, 0), slon = zoom_level_snap_longitude(-75.6972, level, 0);
        Result got = sheet_download_topo(slat, slon, level, settings.get(), path, 0, 0, 0);
        ASSERT_TRUE(got.ok) << got.why;
        double dx = 0, dy = 0, exact = 0;
        if (ottawaMarker(path, SHEET_PNG, slat, slon, level, 0, tree.maps(), &dx, &dy, &exact, 1) <= 0) continue;
        EXPECT_LE(std::fabs(dx), 2.0);
        EXPECT_LE(std::fabs(dy), 2.0);
        checked++;
    }
    EXPECT_GE(checked, 3);
}

// WMS 1.1.1 with GIF, aerial images, a layer the service does not know,
// and the service behind HTTPS with a test certificate authority.
TEST_F(LocalServer, WmsVersionsFormatsErrorsAndHttps) {
    NEED_SERVER();
    std::string wms = LocalMapServer::root + "/cgi-bin/mapserv";
    WmsSource* sources[] = {&settings->wms, &settings->wmsAerial};
    for (WmsSource* s : sources) snprintf(s->url, sizeof s->url, "%s", wms.c_str());
    snprintf(settings->wms.layers, sizeof settings->wms.layers, "topographic");
    snprintf(settings->wms.version, sizeof settings->wms.version, "1.1.1");
    snprintf(settings->wms.format, sizeof settings->wms.format, "image/gif");
    snprintf(settings->wmsAerial.layers, sizeof settings->wmsAerial.layers, "aerial");
    snprintf(settings->wmsAerial.format, sizeof settings->wmsAerial.format, "image/jpeg");
    const double lat = zoom_level_snap_latitude(45.4215, 3, 0), lon = zoom_level_snap_longitude(-75.6972, 3, 0);
    ASSERT_TRUE(sheet_download_topo(lat, lon, 3, settings.get(), path, 0, 0, 0).ok);
    EXPECT_TRUE(std::string(path).ends_with(".gif")) << path;
    double dx = 0, dy = 0, exact = 0;
    ASSERT_EQ(ottawaMarker(path, SHEET_GIF, lat, lon, 3, 0, tree.maps(), &dx, &dy, &exact), 1);
    EXPECT_LE(std::hypot(dx, dy), 2.0);
    ASSERT_TRUE(sheet_download_aerial(lat, lon, 3, settings.get(), path, 0).ok);
    EXPECT_TRUE(std::string(path).ends_with(".jpg")) << path;

    snprintf(settings->wms.layers, sizeof settings->wms.layers, "no_such_layer");
    Result unknown = sheet_download_topo(lat, lon, 4, settings.get(), path, 0, 0, 0);
    EXPECT_FALSE(unknown.ok);
    // The service's own words come back to the caller; no box from a download.
    EXPECT_NE(unknown.why.find("Invalid layer(s) given in the LAYERS parameter"), std::string::npos) << unknown.why;
    EXPECT_TRUE(headless_calls_of("message_box").empty());

    // HTTPS: a TLS server in front of the map server, its certificate
    // signed by a test authority that is trusted only when named.
    fs::create_directories(tree.root / "ca");
    NetPeer tls = net_tls_server_start((tree.root / "ca").string(), "", LocalMapServer::root);
    ASSERT_GT(tls.port, 0);
    std::string https = "https://localhost:" + std::to_string(tls.port) + "/cgi-bin/mapserv";
    snprintf(settings->wms.url, sizeof settings->wms.url, "%s", https.c_str());
    snprintf(settings->wms.layers, sizeof settings->wms.layers, "topographic");
    settings->wms.version[0] = settings->wms.format[0] = '\0';
    Result refused = sheet_download_topo(lat, lon, 2, settings.get(), path, 0, 0, 0);
    http_set_ca_file((tree.root / "ca/ca.pem").c_str());
    Result stored = sheet_download_topo(lat, lon, 2, settings.get(), path, 0, 0, 0);
    http_set_ca_file("");
    net_peer_stop(tls);
    EXPECT_FALSE(refused.ok);
    ASSERT_TRUE(stored.ok) << stored.why;
    EXPECT_TRUE(std::string(path).ends_with(".png")) << path;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    EXPECT_EQ(sheet_image_decode_file(path, SHEET_PNG, &pixels, &w, &h), 1);
    free(pixels);
    EXPECT_EQ(w * 1000 + h, 480360);
}

#ifdef KIVSHEET_PATH
TEST_F(LocalServer, KivsheetFetchStoresASheet) {
    NEED_SERVER();
    std::string tool = KIVSHEET_PATH;
    CommandRun r = runCommand(tool + " fetch 45.4 -75.7 2 --server " + LocalMapServer::root);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "./Maps/w070/w075n045/mac_z2_w0754000_n0452000.gif\n");
    EXPECT_TRUE(fs::is_regular_file(tree.root / "Maps/w070/w075n045/mac_z2_w0754000_n0452000.gif"));
    r = runCommand(tool + " fetch 45.4 -75.7 2 --big --aerial --maps " + tree.maps() + " --server " +
                   LocalMapServer::root);
    EXPECT_EQ(r.status, 0);
    // Big sheets lie on the doubled longitude grid.
    EXPECT_EQ(r.out, tree.maps() + "/w070/w075n045/mad_z2_w0754000_n0452000.jpg\n");
    // Server= of kiv_ini.txt is the default.
    std::string ini = "Server=" + LocalMapServer::root + "\nMaps=./Other\n";
    writeBytes((tree.root / "kiv_ini.txt").string(), Bytes(ini.begin(), ini.end()));
    r = runCommand(tool + " fetch 50 -105 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "./Other/w100/w105n050/mac_z1_w1050000_n0500000.gif\n");
    for (const char* bad : {" fetch 45.4 -75.7 5", " fetch 45.4 -75.7", " fetch 45.4 -75.7 2 --frob",
                            " fetch 45.4 -75.7 2 --server http://127.0.0.1:1"}) {
        r = runCommand(tool + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.out, "") << bad;
    }
    for (const auto& f : fs::directory_iterator(tree.root))
        EXPECT_EQ(f.path().filename().string().rfind("tmp_map", 0), std::string::npos) << f.path();
}
#endif

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new LocalMapServer);
    return RUN_ALL_TESTS();
}
