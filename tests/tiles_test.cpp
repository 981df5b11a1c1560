// Sheets made from slippy-map tiles served on the loopback interface: the
// sheet lands where its extent record says (in the Canadian grid and in
// Web Mercator), the tile cache layout, 404 tiles, conditional requests,
// the connection limit, the User-Agent, and the same sheet from MBTiles.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <webp/encode.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>

#include "download_fault_server.h"
#include "maps/gif_decoder.h"
#include "maps/lcc.h"
#include "maps/map_view.h"
#include "maps/png_sheet.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_download.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "maps/tile_fetch.h"
#include "maps/tile_source.h"
#include "maps/world_grid.h"
#include "platform/headless.h"
#include "settings/app_settings.h"
#include "settings/program_version.h"
#include "settings/settings_load.h"
#include "sheet_test_files.h"

namespace fs = std::filesystem;

namespace {

const double kPi = 3.14159265358979323846;

// A dark 5 x 5 pixel mark on the landmark, white elsewhere; tile (z, x, y).
std::string markedTile(double lat, double lon, int z, int x, int y, bool webp) {
    double n = std::ldexp(256.0, z);
    double gx = (lon + 180) / 360 * n, gy = (1 - std::log(std::tan(kPi / 4 + lat * kPi / 360)) / kPi) / 2 * n;
    std::vector<unsigned char> px(256 * 256 * 3, 255);
    for (int j = 0; j < 256; ++j)
        for (int i = 0; i < 256; ++i)
            if (std::fabs(x * 256 + i + 0.5 - gx) < 2.5 && std::fabs(y * 256 + j + 0.5 - gy) < 2.5)
                memset(&px[(j * 256 + i) * 3], 0, 3);
    unsigned char* out = nullptr;
    size_t size = 0;
    if (webp) {
        size = WebPEncodeLosslessRGB(px.data(), 256, 256, 256 * 3, &out);
        std::string bytes(reinterpret_cast<char*>(out), size);
        WebPFree(out);
        return bytes;
    }
    png_write_rgb_memory(px.data(), 256, 256, &out, &size);
    std::string bytes(reinterpret_cast<char*>(out), size);
    free(out);
    return bytes;
}

// A white WebP tile of more pixels than any decoder takes, made once.
const std::string& oversizedWebp() {
    static const std::string bytes = [] {
        const int w = 4097, h = 4096;
        static_assert(long(w) * h > SHEET_MAX_PIXELS);
        std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3, 255);
        unsigned char* out = nullptr;
        size_t size = WebPEncodeLosslessRGB(px.data(), w, h, w * 3, &out);
        std::string b(reinterpret_cast<char*>(out), size);
        WebPFree(out);
        return b;
    }();
    return bytes;
}

std::string header(const std::string& head, const char* name) {
    size_t at = head.find(std::string("\r\n") + name + ": ");
    if (at == std::string::npos) return "";
    at += strlen(name) + 4;
    return head.substr(at, head.find("\r\n", at) - at);
}

class Tiles : public ::testing::Test {
protected:
    void SetUp() override {
        headless_install();
        sheet_download_install();
        old = fs::current_path();
        fs::current_path(tree.root);
        settings_defaults(&s);
        snprintf(s.mapsDir, sizeof s.mapsDir, "%s", tree.maps().c_str());
        snprintf(s.tiles.url, sizeof s.tiles.url, "%s/t/{z}/{x}/{y}.png", server.root().c_str());
    }
    void TearDown() override { fs::current_path(old); }

    // Replies with the marked tile, "missing" tiles as 404, and 304 to a
    // request carrying the tile's ETag.
    FaultReply reply(const std::string& head) {
        int z, x, y;
        if (sscanf(head.c_str(), "GET /t/%d/%d/%d.png", &z, &x, &y) != 3) return faultStatus(400, "Bad", "");
        std::string tag = "\"" + std::to_string(z) + "-" + std::to_string(x) + "-" + std::to_string(y) + "\"";
        std::string cache = "Cache-Control: max-age=" + std::to_string(maxAge) + "\r\nETag: " + tag + "\r\n";
        if (missing) return faultStatus(404, "Not Found", "no tile");
        if (header(head, "If-None-Match") == tag) return faultRaw(FaultReply::SEND, "HTTP/1.1 304 Not Modified\r\n" + cache + "\r\n");
        std::string png = oversized ? oversizedWebp() : markedTile(markLat, markLon, z, x, y, webp);
        return faultRaw(FaultReply::SEND, "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n" + cache +
                                              "Content-Length: " + std::to_string(png.size()) + "\r\n\r\n" + png);
    }

    // Makes the sheet of the point and returns its pixels.
    Bytes sheet(double lat, double lon, int level, std::string* path = nullptr, int* w = nullptr, int* h = nullptr) {
        const char* why = "";
        EXPECT_NE(SHEET_PLANE_NONE, worldGridSnap(lat, lon, level, 0, &sheetLat, &sheetLon, &why)) << why;
        char out[SHEET_PATH_MAX] = "";
        EXPECT_EQ(0, downloadSheet(sheetLat, sheetLon, level, &s, out, 0, 0, 0)) << sheetDownloadFailure();
        unsigned char* px = nullptr;
        int pw = 0, ph = 0;
        EXPECT_TRUE(decodeSheetFile(out, SHEET_PNG, &px, &pw, &ph)) << out;
        Bytes b(px, px + static_cast<size_t>(pw) * ph * 3);
        free(px);
        if (path) *path = out;
        if (w) *w = pw, *h = ph;
        return b;
    }

    // The cached tiles put into an MBTiles file, each padded with zeros to
    // at least padTo bytes.
    std::string mbtilesOfCache(size_t padTo = 0) {
        std::string db = tree.file("t.mbtiles");
        sqlite3* sql = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_open(db.c_str(), &sql));
        sqlite3_exec(sql, "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB)",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* put = nullptr;
        sqlite3_prepare_v2(sql, "INSERT INTO tiles VALUES (?, ?, ?, ?)", -1, &put, nullptr);
        for (auto& f : fs::recursive_directory_iterator(tree.maps() + "/tiles")) {
            if (f.path().extension() != ".png") continue;
            int y = std::stoi(f.path().stem()), x = std::stoi(f.path().parent_path().filename()),
                z = std::stoi(f.path().parent_path().parent_path().filename());
            Bytes bytes = readBytes(f.path());
            if (bytes.size() < padTo) bytes.resize(padTo, 0);
            sqlite3_bind_int(put, 1, z);
            sqlite3_bind_int(put, 2, x);
            sqlite3_bind_int(put, 3, (1 << z) - 1 - y);
            sqlite3_bind_blob(put, 4, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            EXPECT_EQ(SQLITE_DONE, sqlite3_step(put));
            sqlite3_reset(put);
        }
        sqlite3_finalize(put);
        sqlite3_close(sql);
        return db;
    }

    TempTree tree;
    fs::path old;
    AppSettings s{};
    double markLat = 0, markLon = 0, sheetLat = 0, sheetLon = 0;
    int maxAge = 3600;
    bool missing = false, webp = false, oversized = false;
    FaultServer server{[this](const std::string& head) { return reply(head); }, true};
};

// The mark drawn on the tiles is found in the sheet where the sheet's own
// record places the landmark; tiles are cached as {z}/{x}/{y}.png; every
// request names the program; no more than two at once reach the host.
TEST_F(Tiles, SheetsLandWhereTheirRecordSays) {
    struct Place {
        double lat, lon;
        int level;
    } places[] = {{45.42, -75.70, 2}, {45.42, -75.70, 4}, {48.86, 2.35, 3}, {-33.86, 151.21, 2}};
    for (const Place& p : places) {
        SCOPED_TRACE(std::to_string(p.lat) + " " + std::to_string(p.lon));
        markLat = p.lat, markLon = p.lon;
        fs::remove_all(tree.maps());
        std::string path;
        int w = 0, h = 0;
        Bytes px = sheet(p.lat, p.lon, p.level, &path, &w, &h);
        double sumX = 0, sumY = 0;
        int dark = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i)
                if (px[(static_cast<size_t>(j) * w + i) * 3] < 128 && j < h - 8) sumX += i, sumY += j, ++dark;
        ASSERT_GT(dark, 4);
        char text[256];
        int len = sheetReadExtentRecord(path.c_str(), SHEET_PNG, text, sizeof text);
        SheetExtent e;
        ASSERT_TRUE(len > 0 && sheetParseExtentRecord(text, static_cast<size_t>(len), &e));
        double x = 0, y = 0;
        ASSERT_TRUE(e.epsg ? worldGridToMercator(p.lat, p.lon, &x, &y) : ll2lcc(&x, &y, p.lat, p.lon));
        EXPECT_NEAR((x - e.minX) / (e.maxX - e.minX) * (w - 1), sumX / dark, 1.0);
        EXPECT_NEAR((e.maxY - y) / (e.maxY - e.minY) * (h - 1), sumY / dark, 1.0);
    }
    int cached = 0;
    const std::regex layout(R"(tiles/127\.0\.0\.1-[0-9a-f]{8}/\d+/\d+/\d+\.png)");
    for (auto& f : fs::recursive_directory_iterator(tree.maps() + "/tiles"))
        cached += std::regex_match(fs::relative(f.path(), tree.maps()).string(), layout);
    EXPECT_GT(cached, 0);
    for (const std::string& head : server.heads())
        EXPECT_EQ("Kiv/" + std::string(kiv_version), header(head, "User-Agent"));
    EXPECT_EQ(TILE_HOST_CONNECTIONS, tileHostPeakConnections("127.0.0.1"));
}

// A tile the server does not have draws white; the sheet is still made,
// with the attribution in black in its lower right corner only.
TEST_F(Tiles, MissingTilesDrawEmpty) {
    missing = true;
    snprintf(s.tiles.attribution, sizeof s.tiles.attribution, "\xC2\xA9 OSM");
    int w = 0, h = 0, inCorner = 0, elsewhere = 0;
    Bytes px = sheet(45.42, -75.70, 3, nullptr, &w, &h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            if (px[(static_cast<size_t>(j) * w + i) * 3] != 255) ++(i > w - 40 && j > h - 8 ? inCorner : elsewhere);
    EXPECT_GT(inCorner, 10);
    EXPECT_EQ(0, elsewhere);
}

// WebP tiles make the same sheet as PNG ones.
TEST_F(Tiles, WebpTilesMakeTheSameSheet) {
    markLat = 45.42, markLon = -75.70;
    Bytes png = sheet(45.42, -75.70, 2);
    fs::remove_all(tree.maps());
    webp = true;
    EXPECT_EQ(png, sheet(45.42, -75.70, 2));
}

// Tiles beyond the limits every sheet image has are refused and no sheet
// is made: a WebP declaring more pixels than the decoders take (checked
// before libwebp allocates them), an MBTiles tile larger than a tile
// server may send (refused before it is read).
TEST_F(Tiles, TilesBeyondTheLimitsAreRefused) {
    auto refused = [&](const char* what) {
        const char* why = "";
        ASSERT_NE(SHEET_PLANE_NONE, worldGridSnap(45.42, -75.70, 2, 0, &sheetLat, &sheetLon, &why)) << why;
        char out[SHEET_PATH_MAX] = "";
        EXPECT_NE(0, downloadSheet(sheetLat, sheetLon, 2, &s, out, 0, 0, 0)) << what;
        EXPECT_FALSE(fs::exists(out)) << what;
    };
    oversized = true;
    refused("an oversized WebP");
    oversized = false;
    fs::remove_all(tree.maps());
    sheet(45.42, -75.70, 2);
    std::string db = mbtilesOfCache(SHEET_TRANSFER_BYTES_MAX + 1);
    fs::remove_all(tree.maps());
    snprintf(s.tiles.url, sizeof s.tiles.url, "mbtiles:%s", db.c_str());
    refused("an MBTiles tile above the cap");
}

// A reload asks each tile again with its ETag and a 304 keeps it; a
// fresh tile is not asked at all for a new sheet.
TEST_F(Tiles, ConditionalRequestsAndFreshness) {
    markLat = 45.42, markLon = -75.70;
    maxAge = 0;
    Bytes first = sheet(45.42, -75.70, 3);
    int asked = server.requestCount();
    ASSERT_GT(asked, 0);
    maxAge = 3600;
    EXPECT_EQ(first, sheet(45.42, -75.70, 3)) << "the stored sheet is used";
    char path[SHEET_PATH_MAX];
    ASSERT_EQ(0, sheet_download_hooks.refetchSheet(0, sheetLat, sheetLon, 3, &s, path, 0, 0, 0));
    std::vector<std::string> heads = server.heads();
    ASSERT_EQ(2u * asked, heads.size());
    for (size_t k = asked; k < heads.size(); ++k) EXPECT_NE("", header(heads[k], "If-None-Match"));
    fs::remove(path);
    sheet(45.42, -75.70, 3);
    EXPECT_EQ(heads.size(), server.heads().size()) << "fresh tiles are not asked again";
}

// The tiles of the cache put into an MBTiles file make the same sheet
// offline, with no request.
TEST_F(Tiles, MbtilesMakeTheSameSheetOffline) {
    markLat = 45.42, markLon = -75.70;
    Bytes online = sheet(45.42, -75.70, 2);
    std::string db = mbtilesOfCache();
    fs::remove_all(tree.maps());
    int asked = server.requestCount();
    snprintf(s.tiles.url, sizeof s.tiles.url, "mbtiles:%s", db.c_str());
    EXPECT_EQ(online, sheet(45.42, -75.70, 2));
    EXPECT_EQ(asked, server.requestCount());
}

// Each source has a store of its own: a switch uses (and fetches) the new
// source's sheets and the old ones come back with their source; the old
// map server keeps the maps folder itself. Sheets of tiles grow stale
// after MaxAge= days (30 by default), the map server's never.
TEST_F(Tiles, SourcesKeepStoresOfTheirOwn) {
    auto stored = [&](const char* what) {
        std::string why;
        EXPECT_TRUE(sheetSourceSelectStore(&s, &why)) << why;
        char path[SHEET_PATH_MAX];
        return sheetStored(path, s.mapsDir, sheetLat, sheetLon, 2, 0, SHEET_GIF) >= 0 ? std::string(what) : "";
    };
    std::string tileSource = s.tiles.url;
    stored("");
    std::string path;
    sheet(45.42, -75.70, 2, &path);
    EXPECT_EQ(0u, path.find(tree.maps() + "/sources/tiles-"));
    EXPECT_EQ("", stored("")) << "the old map server's store has no such sheet";
    s.tiles.url[0] = 0;
    EXPECT_EQ("", stored("server"));
    EXPECT_EQ(tree.maps(), s.mapsDir);
    snprintf(s.tiles.url, sizeof s.tiles.url, "%s", tileSource.c_str());
    EXPECT_EQ("tiles", stored("tiles"));

    EXPECT_FALSE(sheetIsStale(&s, 0, path.c_str()));
    utimbuf old{time(nullptr) - 31 * 86400, time(nullptr) - 31 * 86400};
    ASSERT_EQ(0, utime(path.c_str(), &old));
    EXPECT_TRUE(sheetIsStale(&s, 0, path.c_str()));
    s.maxAgeDays = 40;
    EXPECT_FALSE(sheetIsStale(&s, 0, path.c_str()));
    s.maxAgeDays = -1;
    s.tiles.url[0] = 0;
    EXPECT_FALSE(sheetIsStale(&s, 0, path.c_str()));
}

// Area downloads from a no-bulk source are refused beyond a few tiles.
TEST(TileBulk, NoBulkSourcesRefuseAreas) {
    struct Case {
        const char* url;
        int noBulk;
        long sheets;
        int refused;
    } cases[] = {{"https://{s}.tile.openstreetmap.org/{z}/{x}/{y}.png", 0, 100, 1},
                 {"https://tile.openstreetmap.org/{z}/{x}/{y}.png", 0, 3, 0},
                 {"https://tiles.example.org/{z}/{x}/{y}.png", 1, 100, 1}};
    for (const Case& c : cases) {
        TileSource t{};
        snprintf(t.url, sizeof t.url, "%s", c.url);
        t.noBulk = c.noBulk;
        std::string why;
        EXPECT_EQ(c.refused, tileBulkRefused(&t, c.sheets, 0, &why)) << c.url;
    }
}

#ifdef KIVSHEET_PATH
// kivsheet: fetch-area renews stored sheets with --refresh, refuses a
// no-bulk source, and store lists and prunes by source.
TEST_F(Tiles, KivsheetRefreshesAndKeepsTheStore) {
    auto kivsheet = [&](const std::string& args) {
        std::string out;
        FILE* p = popen(("cd " + tree.root.string() + " && " KIVSHEET_PATH " " + args + " 2>&1").c_str(), "r");
        char buf[4096];
        for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        int st = p ? pclose(p) : -1;
        return std::make_pair(WIFEXITED(st) ? WEXITSTATUS(st) : -1, out);
    };
    writeBytes(tree.file("kiv_ini.txt"), Bytes());
    FILE* ini = fopen(tree.file("kiv_ini.txt").c_str(), "w");
    fprintf(ini, "Maps=%s\nTiles=%s\nUserAgent=mailto:me@example.org\n", tree.maps().c_str(), s.tiles.url);
    fclose(ini);
    std::string area = "fetch-area --bbox 45.40 -75.72 45.44 -75.68 --levels 2";
    auto r = kivsheet(area);
    ASSERT_EQ(0, r.first) << r.second;
    int asked = server.requestCount();
    ASSERT_GT(asked, 0);
    EXPECT_NE(std::string::npos, server.heads().back().find("User-Agent: Kiv/" + std::string(kiv_version) +
                                                            " (+mailto:me@example.org)\r\n"));
    r = kivsheet(area + " --refresh");
    EXPECT_EQ(0, r.first) << r.second;
    std::vector<std::string> heads = server.heads();
    ASSERT_GE(heads.size(), 2u * asked) << "each tile asked again";
    for (size_t k = asked; k < heads.size(); ++k) EXPECT_NE("", header(heads[k], "If-None-Match"));

    r = kivsheet("store");
    EXPECT_EQ(0, r.first) << r.second;
    size_t at = r.second.find("tiles-");
    ASSERT_NE(std::string::npos, at) << r.second;
    std::string store = r.second.substr(at, 14);
    EXPECT_NE(std::string::npos, r.second.find("level 2: ", at)) << r.second;
    EXPECT_EQ(0, kivsheet("store --prune " + store + " --older-than 1").first);
    r = kivsheet("store --prune " + store);
    EXPECT_EQ(0, r.first);
    EXPECT_EQ(0u, r.second.find_first_of("123456789")) << r.second;
    EXPECT_NE(std::string::npos, kivsheet("store").second.find("no sheets"));

    ini = fopen(tree.file("kiv_ini.txt").c_str(), "w");
    fprintf(ini, "Maps=%s\nTiles=https://tile.openstreetmap.org/{z}/{x}/{y}.png\n", tree.maps().c_str());
    fclose(ini);
    r = kivsheet("fetch-area --bbox 45.0 -76.0 46.0 -75.0 --levels 3");
    EXPECT_EQ(2, r.first);
    EXPECT_NE(std::string::npos, r.second.find("forbids bulk downloads")) << r.second;
}
#endif

}  // namespace
