// Sheets made from slippy-map tiles served on the loopback interface: the
// sheet lands where its extent record says (in the Canadian grid and in
// Web Mercator), the tile cache layout, 404 tiles, conditional requests,
// the connection limit, the User-Agent, and the same sheet from MBTiles.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <webp/encode.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>
#include <thread>

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
    // kiv_ini.txt for kivsheet: the test's store and this tile source.
    void writeIni(const std::string& tiles, const std::string& more = "") {
        std::string text = "Maps=" + tree.maps() + "\nTiles=" + tiles + "\n" + more;
        writeBytes(tree.file("kiv_ini.txt"), Bytes(text.begin(), text.end()));
    }

    // Replies with the marked tile, "missing" tiles as 404, and 304 to a
    // request carrying the tile's ETag.
    FaultReply reply(const std::string& head) {
        int z, x, y;
        if (sscanf(head.c_str(), "GET /t/%d/%d/%d.png", &z, &x, &y) != 3) return faultStatus(400, "Bad", "");
        std::string tag = "\"" + std::to_string(z) + "-" + std::to_string(x) + "-" + std::to_string(y) + "\"";
        std::string cache = "Cache-Control: max-age=" + std::to_string(maxAge) + "\r\nETag: " + tag + "\r\n";
        bool markColumn = x == static_cast<int>(std::floor((markLon + 180) / 360 * std::ldexp(1.0, z)));
        if (missing || (missingOthers && !markColumn)) return faultStatus(404, "Not Found", "no tile");
        if (portal) return faultOk("<html>Log in to the train's network</html>");
        if (hold)
            return faultRaw(FaultReply::SEND_AND_HOLD, "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: 1000\r\n\r\n" +
                                                           std::string(100, 'x'));
        if (header(head, "If-None-Match") == tag) return faultRaw(FaultReply::SEND, "HTTP/1.1 304 Not Modified\r\n" + cache + "\r\n");
        std::string png = oversized ? oversizedWebp() : markedTile(markLat, markLon, z, x, y, webp);
        FaultReply r = faultRaw(FaultReply::SEND, "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n" + cache +
                                                      "Content-Length: " + std::to_string(png.size()) + "\r\n\r\n" +
                                                      png.substr(0, png.size() / 2));
        r.pause = [this] {
            if (together) server.waitForRequests(together);
        };
        r.rest = png.substr(png.size() / 2);
        return r;
    }

    Bytes readPixels(const std::string& path, int* w = nullptr, int* h = nullptr) {
        unsigned char* px = nullptr;
        int pw = 0, ph = 0;
        EXPECT_TRUE(sheet_image_decode_file(path.c_str(), SHEET_PNG, &px, &pw, &ph)) << path;
        Bytes b(px, px + static_cast<size_t>(pw) * ph * 3);
        free(px);
        if (w) *w = pw, *h = ph;
        return b;
    }

    // An MBTiles file of the cached tiles, with the metadata given, each tile
    // padded with zeros to at least padTo bytes.
    std::string mbtilesOfCache(const char* name, const std::string& metadata, size_t padTo = 0) {
        std::string db = tree.file(name);
        sqlite3* sql = nullptr;
        EXPECT_EQ(SQLITE_OK, sqlite3_open(db.c_str(), &sql));
        sqlite3_exec(sql, ("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);"
                           "CREATE TABLE metadata (name TEXT, value TEXT);" + metadata).c_str(),
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

    // Makes the sheet of the point and returns its pixels.
    Bytes sheet(double lat, double lon, int level, std::string* path = nullptr, int* w = nullptr, int* h = nullptr) {
        const char* why = "";
        EXPECT_NE(VIEW_PLANE_NONE, world_grid_snap(lat, lon, level, 0, &sheetLat, &sheetLon, &why)) << why;
        char out[SHEET_PATH_MAX] = "";
        Result got = sheet_download_topo(sheetLat, sheetLon, level, &s, out, 0, 0, 0);
        EXPECT_TRUE(got.ok) << got.why;
        if (path) *path = out;
        return readPixels(out, w, h);
    }

    TempTree tree;
    fs::path old;
    AppSettings s{};
    double markLat = 0, markLon = 0, sheetLat = 0, sheetLon = 0;
    int maxAge = 3600;
    bool missing = false, missingOthers = false, portal = false, hold = false, webp = false, oversized = false;
    int together = 0;  // requests that arrive before any reply ends
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
    // The first reply is held until a second request arrives, so two
    // requests certainly overlap once and the peak below is the limit's.
    together = 2;
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
        int len = sheet_extent_read_record(path.c_str(), SHEET_PNG, text, sizeof text);
        SheetExtent e;
        ASSERT_TRUE(len > 0 && sheet_extent_parse(text, static_cast<size_t>(len), &e));
        double x = 0, y = 0;
        ASSERT_TRUE(e.epsg ? world_grid_to_mercator(p.lat, p.lon, &x, &y) : ll2lcc(&x, &y, p.lat, p.lon));
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
    EXPECT_EQ(TILE_HOST_CONNECTIONS, tile_fetch_peak_connections("127.0.0.1"));
}

// A tile the server does not have draws white, but a server that has none
// of a sheet's tiles (a wrong address) fails the sheet: the stored sheet
// and the cached tiles stay, and the reason is said.
TEST_F(Tiles, MissingTilesDrawEmpty) {
    markLat = 45.42, markLon = -75.70;
    maxAge = 0;
    std::string path;
    Bytes good = sheet(45.42, -75.70, 3, &path);
    auto cachedTiles = [&] {
        int n = 0;
        for (auto& f : fs::recursive_directory_iterator(tree.maps() + "/tiles")) n += f.path().extension() == ".png";
        return n;
    };
    int cached = cachedTiles();
    missing = true;
    char out[SHEET_PATH_MAX];
    Result refetched = sheet_download_hooks.refetchSheet(0, sheetLat, sheetLon, 3, &s, out, 0, 0, 0);
    EXPECT_FALSE(refetched.ok);
    EXPECT_NE(std::string::npos, refetched.why.find("404")) << refetched.why;
    EXPECT_EQ(good, readPixels(path));
    EXPECT_EQ(cached, cachedTiles());
    fs::remove_all(tree.maps());
    EXPECT_FALSE(sheet_download_topo(sheetLat, sheetLon, 3, &s, out, 0, 0, 0).ok);
    EXPECT_FALSE(fs::exists(out));

    missing = false, missingOthers = true;
    Bytes some = sheet(45.42, -75.70, 3);
    EXPECT_NE(some.end(), std::find(some.begin(), some.end(), 0)) << "the mark's tile is there";
}

// A login page of a network that stands between (200, text/html) is no
// tile: the cached tiles serve as they do offline.
TEST_F(Tiles, PagesThatAreNoImageFallBackOnTheCache) {
    markLat = 45.42, markLon = -75.70;
    maxAge = 0;
    std::string path;
    Bytes good = sheet(45.42, -75.70, 3, &path);
    fs::remove(path);
    portal = true;
    EXPECT_EQ(good, sheet(45.42, -75.70, 3));
}

// Two sheets that fetch the same tile at once both get it whole.
TEST_F(Tiles, OneTileFetchedTwiceAtOnce) {
    together = 2;
    std::string paths[2], why[2];
    int ok[2] = {0, 0};
    std::string cache = tree.file("cache");
    auto fetch = [&](int k) { ok[k] = tile_fetch_cached(&s.tiles, cache.c_str(), 5, 9, 11, 0, &paths[k], &why[k]); };
    std::thread other(fetch, 1);
    fetch(0);
    other.join();
    std::string tile = markedTile(0, 0, 5, 9, 11, false);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(1, ok[k]) << why[k];
        EXPECT_EQ(Bytes(tile.begin(), tile.end()), readBytes(paths[k]));
    }
}

// A tile folder of the user's own ("file://" or a path) is only read: a
// tile in it that does not decode fails the sheet and stays.
TEST_F(Tiles, TilesOfTheUsersFolderAreNeverDeleted) {
    std::string bad = tree.file("mine/bad.png");
    fs::create_directories(tree.file("mine"));
    writeBytes(bad, Bytes(100, 'x'));
    for (std::string url : {"file://" + bad, bad}) {
        snprintf(s.tiles.url, sizeof s.tiles.url, "%s", url.c_str());
        const char* why = "";
        ASSERT_NE(VIEW_PLANE_NONE, world_grid_snap(45.42, -75.70, 2, 0, &sheetLat, &sheetLon, &why));
        char out[SHEET_PATH_MAX];
        EXPECT_FALSE(sheet_download_topo(sheetLat, sheetLon, 2, &s, out, 0, 0, 0).ok) << url;
        EXPECT_TRUE(fs::exists(bad)) << url;
    }
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
        ASSERT_NE(VIEW_PLANE_NONE, world_grid_snap(45.42, -75.70, 2, 0, &sheetLat, &sheetLon, &why)) << why;
        char out[SHEET_PATH_MAX] = "";
        EXPECT_FALSE(sheet_download_topo(sheetLat, sheetLon, 2, &s, out, 0, 0, 0).ok) << what;
        EXPECT_FALSE(fs::exists(out)) << what;
    };
    oversized = true;
    refused("an oversized WebP");
    oversized = false;
    fs::remove_all(tree.maps());
    sheet(45.42, -75.70, 2);
    std::string db = mbtilesOfCache("t.mbtiles", "", SHEET_TRANSFER_BYTES_MAX + 1);
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
    ASSERT_TRUE(sheet_download_hooks.refetchSheet(0, sheetLat, sheetLon, 3, &s, path, 0, 0, 0).ok);
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
    std::string db = mbtilesOfCache("t.mbtiles", "");
    fs::remove_all(tree.maps());
    int asked = server.requestCount();
    snprintf(s.tiles.url, sizeof s.tiles.url, "mbtiles:%s", db.c_str());
    EXPECT_EQ(online, sheet(45.42, -75.70, 2));
    EXPECT_EQ(asked, server.requestCount());
}

// An MBTiles file that stops at a coarse zoom makes finer sheets from its
// finest tiles, enlarged, and none beyond its bounds; a change of the zoom
// limit makes other sheets, kept apart.
TEST_F(Tiles, MbtilesHonourTheirMaxZoomAndBounds) {
    markLat = 45.42, markLon = -75.70;
    sheet(45.42, -75.70, 1);
    int finest = 0;
    for (auto& f : fs::recursive_directory_iterator(tree.maps() + "/tiles"))
        if (f.path().extension() == ".png") finest = std::max(finest, std::stoi(f.path().parent_path().parent_path().filename()));
    std::string meta = "INSERT INTO metadata VALUES ('maxzoom', '" + std::to_string(finest) + "');";
    std::string coarse = mbtilesOfCache("coarse.mbtiles", meta);
    std::string elsewhere = mbtilesOfCache("elsewhere.mbtiles", meta + "INSERT INTO metadata VALUES ('bounds', '2,48,3,49');");
    fs::remove_all(tree.maps());
    snprintf(s.tiles.url, sizeof s.tiles.url, "mbtiles:%s", coarse.c_str());
    Bytes fine = sheet(45.42, -75.70, 3);
    EXPECT_NE(fine.end(), std::find_if(fine.begin(), fine.end(), [](unsigned char v) { return v < 128; }));
    snprintf(s.tiles.url, sizeof s.tiles.url, "mbtiles:%s", elsewhere.c_str());
    char out[SHEET_PATH_MAX];
    EXPECT_FALSE(sheet_download_hooks.refetchSheet(0, sheetLat, sheetLon, 3, &s, out, 0, 0, 0).ok);

    ASSERT_TRUE(sheet_source_select_store(&s).ok);
    std::string store = s.mapsDir;
    s.tiles.maxZoom = 12;
    ASSERT_TRUE(sheet_source_select_store(&s).ok);
    EXPECT_NE(store, s.mapsDir);
}

// Each source has a store of its own: a switch uses (and fetches) the new
// source's sheets and the old ones come back with their source; the old
// map server keeps the maps folder itself. Sheets of tiles grow stale
// after MaxAge= days (30 by default), the map server's never.
TEST_F(Tiles, SourcesKeepStoresOfTheirOwn) {
    auto stored = [&](const char* what) {
        EXPECT_TRUE(sheet_source_select_store(&s).ok);
        char path[SHEET_PATH_MAX];
        return sheet_stored(path, s.mapsDir, sheetLat, sheetLon, 2, 0, SHEET_GIF) >= 0 ? std::string(what) : "";
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

    EXPECT_FALSE(sheet_source_is_stale(&s, 0, path.c_str()));
    utimbuf old{time(nullptr) - 31 * 86400, time(nullptr) - 31 * 86400};
    ASSERT_EQ(0, utime(path.c_str(), &old));
    EXPECT_TRUE(sheet_source_is_stale(&s, 0, path.c_str()));
    s.maxAgeDays = 40;
    EXPECT_FALSE(sheet_source_is_stale(&s, 0, path.c_str()));
    s.maxAgeDays = -1;
    s.tiles.url[0] = 0;
    EXPECT_FALSE(sheet_source_is_stale(&s, 0, path.c_str()));
}

// Each kind's store follows its own source: a new aerial source keeps the
// topographic sheets, a new topographic source keeps the aerial ones.
TEST_F(Tiles, EachKindsStoreFollowsItsOwnSource) {
    ASSERT_TRUE(sheet_source_select_store(&s).ok);
    sheet(45.42, -75.70, 2);
    snprintf(s.tilesAerial.url, sizeof s.tilesAerial.url, "%s", (std::string(s.tiles.url) + "?aerial").c_str());
    ASSERT_TRUE(sheet_source_select_store(&s).ok);
    char found[SHEET_PATH_MAX];
    EXPECT_EQ(SHEET_PNG, sheet_stored(found, sheet_source_store_dir(&s, 0), sheetLat, sheetLon, 2, 0, SHEET_GIF));
    Result aerial = sheet_download_aerial(sheetLat, sheetLon, 2, &s, found, 0);
    ASSERT_TRUE(aerial.ok) << aerial.why;
    snprintf(s.tiles.url + strlen(s.tiles.url), 16, "?v=2");
    ASSERT_TRUE(sheet_source_select_store(&s).ok);
    EXPECT_EQ(SHEET_JPEG, sheet_stored(found, sheet_source_store_dir(&s, 1), sheetLat, sheetLon, 2, 0, SHEET_JPEG));
    EXPECT_EQ(-1, sheet_stored(found, sheet_source_store_dir(&s, 0), sheetLat, sheetLon, 2, 0, SHEET_GIF));
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
                 {"https://Tile.OpenStreetMap.ORG/{z}/{x}/{y}.png", 0, 100, 1},
                 {"https://me:pw@a.tile.openstreetmap.org/{z}/{x}/{y}.png", 0, 100, 1},
                 {"https://tiles.example.org/{z}/{x}/{y}.png", 1, 100, 1}};
    for (const Case& c : cases) {
        TileSource t{};
        snprintf(t.url, sizeof t.url, "%s", c.url);
        t.noBulk = c.noBulk;
        std::string why;
        EXPECT_EQ(c.refused, tile_source_bulk_refused(&t, c.sheets, 0, nullptr, &why)) << c.url;
    }
    // The cap holds across runs: two areas of 180 tiles are one too many.
    TempTree tree;
    TileSource osm{};
    snprintf(osm.url, sizeof osm.url, "https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    std::string why;
    EXPECT_EQ(0, tile_source_bulk_refused(&osm, 15, 0, tree.maps().c_str(), &why));
    EXPECT_EQ(1, tile_source_bulk_refused(&osm, 15, 0, tree.maps().c_str(), &why));
}

#ifdef KIVSHEET_PATH
// kivsheet: fetch-area renews stored sheets with --refresh, refuses a
// no-bulk source, and store lists and prunes by source and the tile cache.
TEST_F(Tiles, KivsheetRefreshesAndKeepsTheStore) {
    auto kivsheet = [&](const std::string& args) {
        std::string out;
        FILE* p = popen(("cd " + tree.root.string() + " && " KIVSHEET_PATH " " + args + " 2>&1").c_str(), "r");
        char buf[4096];
        for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        int st = p ? pclose(p) : -1;
        return std::make_pair(WIFEXITED(st) ? WEXITSTATUS(st) : -1, out);
    };
    writeIni(s.tiles.url, "UserAgent=mailto:me@example.org\n");
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
    // The tile cache is listed by zoom and pruned like a store.
    r = kivsheet("store");
    at = r.second.find("tiles/");
    ASSERT_NE(std::string::npos, at) << r.second;
    EXPECT_NE(std::string::npos, r.second.find("zoom ", at)) << r.second;
    EXPECT_EQ(0, kivsheet("store --prune " + r.second.substr(at, r.second.find(':', at) - at)).first);
    EXPECT_NE(std::string::npos, kivsheet("store").second.find("no tiles"));

    writeIni("https://tile.openstreetmap.org/{z}/{x}/{y}.png");
    r = kivsheet("fetch-area --bbox 45.0 -76.0 46.0 -75.0 --levels 3");
    EXPECT_EQ(2, r.first);
    EXPECT_NE(std::string::npos, r.second.find("forbids bulk downloads")) << r.second;

    // A tile server that does not answer is named, not the map server.
    writeIni("http://tiles.invalid/{z}/{x}/{y}.png");
    r = kivsheet("fetch-area --bbox 45.0 -76.0 46.0 -75.0 --levels 2");
    EXPECT_EQ(2, r.first);
    EXPECT_NE(std::string::npos, r.second.find("kivsheet: tiles.invalid does not answer")) << r.second;
}

// Ctrl-C during fetch-area winds the transfers down: no part file nor
// temporary file is left behind.
TEST_F(Tiles, KivsheetInterruptedLeavesNoPartFiles) {
    hold = true;
    writeIni(s.tiles.url);
    std::string tmpdir = "TMPDIR=" + tree.root.string();
    std::vector<std::string> args = {KIVSHEET_PATH, "fetch-area", "--bbox", "45.40", "-75.72", "45.44", "-75.68", "--levels", "2"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    char* envp[] = {tmpdir.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(0, posix_spawn(&pid, KIVSHEET_PATH, nullptr, nullptr, argv.data(), envp));
    auto leftovers = [&] {
        std::vector<std::string> out;
        for (auto& f : fs::recursive_directory_iterator(tree.root)) {
            std::string name = f.path().filename().string();
            if (name.find(".part.") != std::string::npos || name.rfind("tmp_map", 0) == 0) out.push_back(name);
        }
        return out;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (leftovers().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(leftovers().empty()) << "a transfer is under way";
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_EQ(std::vector<std::string>{}, leftovers());
}
#endif

}  // namespace
