// Sheets made from tiles as an MBTiles source gives them: the tile's bytes
// (WebP, PNG, GIF or JPEG, or none of them) stand for every tile of zooms
// 0 to 3 of a small MBTiles file, or the bytes are the MBTiles file
// itself, and a small sheet at a fuzzed place, level and size is composed
// from it. A sheet made is whole; a WebP decoded stays within the pixel
// limit every decoder keeps.
//
// As in jpeg_sheet_fuzz, tiles declaring more than the largest tiles served
// (512 x 512) but within the limit are skipped (decoding garbage into 16
// million pixels held this target to 75 runs a second, a megapixel to 30);
// those above the limit still go through.
//
// Input: byte 0 (bit 0: the rest is the whole file; bits 1-2: the zoom
// limit, 1 to 3), latitude and longitude (two bytes each), level, sheet width and
// height (a byte each), then the tile or the file.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>
#include <webp/decode.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_files.h"
#include "maps/gif_decoder.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/tile_sheet.h"
#include "maps/webp_image.h"
#include "maps/wms_request.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "settings/app_settings.h"

namespace {

const size_t kHead = 8;
const int kTopZoom = 3;
// The largest tiles served are 512 pixels square; a larger one adds nothing
// the tile code does differently (any size but 256 is scaled alike), only
// decoding time, and the decoders have fuzzers of their own.
const unsigned long long kTilePixelsMax = 512 * 512;

struct Files {
    std::string tiles, whole, webp;
    int home = -1, folder = -1;  // the sheet maker's temporaries go to the current folder
    sqlite3* db = nullptr;
    sqlite3_stmt* put = nullptr;
};

// Every tile of zooms 0..3 is the one blob of table t, through a view as
// some MBTiles files keep their tiles.
void makeTiles(Files* f) {
    if (sqlite3_open(f->tiles.c_str(), &f->db) != SQLITE_OK) abort();
    std::string sql =
        "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
        "CREATE TABLE keys (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER);"
        "CREATE TABLE t (data BLOB); INSERT INTO t VALUES (NULL);"
        "CREATE VIEW tiles AS SELECT zoom_level, tile_column, tile_row, (SELECT data FROM t) AS tile_data FROM keys;";
    for (int z = 0; z <= kTopZoom; ++z)
        for (int x = 0; x < (1 << z); ++x)
            for (int y = 0; y < (1 << z); ++y)
                sql += "INSERT INTO keys VALUES (" + std::to_string(z) + "," + std::to_string(x) + "," +
                       std::to_string(y) + ");";
    if (sqlite3_exec(f->db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(f->db, "UPDATE t SET data = ?1", -1, &f->put, nullptr) != SQLITE_OK)
        abort();
}

const Files& files() {
    static Files f;
    if (!f.db) {
        std::string folder = fuzz_folder("kiv_tile_sheet_fuzz");
        f.tiles = folder + "/tiles.mbtiles";
        f.whole = folder + "/whole.mbtiles";
        f.webp = folder + "/tile.webp";
        f.home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        f.folder = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (f.home < 0 || f.folder < 0) abort();
        makeTiles(&f);
    }
    return f;
}

void putTile(const Files& f, const uint8_t* data, size_t size) {
    sqlite3_reset(f.put);
    sqlite3_bind_blob(f.put, 1, data, static_cast<int>(size), SQLITE_STATIC);
    if (sqlite3_step(f.put) != SQLITE_DONE) abort();
}

// The WebP reader's promise, as the sheet readers': within the limit, or nothing.
void checkWebp(const Files& f, const uint8_t* data, size_t size) {
    if (!webp_is_image(data, size)) return;
    fuzz_write_file(f.webp, data, size);
    unsigned char* pixels = nullptr;
    int w = -1, h = -1;
    if (webp_read_rgb(f.webp.c_str(), &pixels, &w, &h)) {
        if (!pixels || w <= 0 || h <= 0 || long(w) * h > SHEET_MAX_PIXELS) abort();
        volatile unsigned char sink = pixels[0] ^ pixels[size_t(w) * h * 3 - 1];
        (void)sink;
    } else if (pixels) {
        abort();
    }
    free(pixels);
}

unsigned be16(const uint8_t* p) { return unsigned(p[0]) << 8 | p[1]; }

// The decoder makes a buffer of the first image's own size, whatever the
// logical screen says, so that is the size that counts.
unsigned long long gifFirstImagePixels(const uint8_t* d, size_t n) {
    if (n < 13) return 0;
    size_t at = 13 + (d[10] & 0x80 ? size_t(3) << ((d[10] & 7) + 1) : 0);
    while (at < n && d[at] != 0x3B) {
        if (d[at] == 0x2C)
            return at + 9 <= n ? static_cast<unsigned long long>(d[at + 5] | d[at + 6] << 8) * (d[at + 7] | d[at + 8] << 8) : 0;
        if (d[at] != 0x21) {
            ++at;  // passed over, as the decoder does
            continue;
        }
        at += 2;
        while (at < n && d[at] != 0) at += 1 + d[at];
        ++at;
    }
    return 0;
}

// Pixels the tile's header declares (the first frame's for a JPEG), 0 when
// it declares none.
unsigned long long declaredPixels(const uint8_t* d, size_t n) {
    int w = 0, h = 0;
    if (webp_is_image(d, n)) return WebPGetInfo(d, n, &w, &h) ? static_cast<unsigned long long>(w) * h : 0;
    switch (sheet_image_format(d, n)) {
    case SHEET_PNG:
        return n >= 24 ? static_cast<unsigned long long>(be16(d + 16) << 16 | be16(d + 18)) * (be16(d + 20) << 16 | be16(d + 22)) : 0;
    case SHEET_GIF:
        return gifFirstImagePixels(d, n);
    case SHEET_JPEG:
        for (size_t at = 2; at + 9 <= n && d[at] == 0xFF; at += 2 + be16(d + at + 2)) {
            uint8_t m = d[at + 1];
            if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC)
                return static_cast<unsigned long long>(be16(d + at + 5)) * be16(d + at + 7);
        }
        return 0;
    default:
        return 0;
    }
}

bool slowToDecode(const uint8_t* d, size_t n) {
    unsigned long long pixels = declaredPixels(d, n);
    return pixels > kTilePixelsMax && pixels <= static_cast<unsigned long long>(SHEET_MAX_PIXELS);
}

int16_t word(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Files& f = files();
    if (size < kHead) return 0;
    const uint8_t* body = data + kHead;
    size_t bodySize = size - kHead;
    bool whole = data[0] & 1;
    if (whole) {
        fuzz_write_file(f.whole, body, bodySize);
    } else {
        if (slowToDecode(body, bodySize)) return 0;
        putTile(f, body, bodySize);
        checkWebp(f, body, bodySize);
    }

    double lat = word(data + 1) * (90.0 / 32768), lon = word(data + 3) * (180.0 / 32768), sheetLat = 0, sheetLon = 0;
    int level = data[5] % 5, w = 2 + data[6] % 32, h = 2 + data[7] % 32;
    const char* why = "";
    SheetExtent e{};
    if (world_grid_snap(lat, lon, level, 0, &sheetLat, &sheetLon, &why) == VIEW_PLANE_NONE ||
        !sheet_download_plane_centre(sheetLat, sheetLon, level, 0, &e.centreX, &e.centreY, &e.angle, &e.epsg))
        return 0;
    e.scale = zoom_level_scale(level);
    WmsBox box = wms_sheet_box(e.centreX, e.centreY, e.scale, w, h);
    e.minX = box.minX, e.minY = box.minY, e.maxX = box.maxX, e.maxY = box.maxY;

    TileSource source{};
    snprintf(source.url, sizeof source.url, "mbtiles:%s", (whole ? f.whole : f.tiles).c_str());
    source.maxZoom = 1 + (data[0] >> 1) % kTopZoom;  // 0 would mean the default, 19
    unsigned char* rgb = nullptr;
    if (fchdir(f.folder) != 0) abort();
    Result made = tile_make_sheet(&source, "", &e, w, h, 0, &rgb);
    const std::string& reason = made.why;
    if (fchdir(f.home) != 0) abort();
    if (made) {
        if (!rgb) abort();
        volatile unsigned char sink = rgb[0] ^ rgb[size_t(w) * h * 3 - 1];
        (void)sink;
    } else if (rgb || reason.empty()) {
        abort();
    }
    free(rgb);
    return 0;
}
