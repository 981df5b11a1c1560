#include "maps/tile_sheet.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "maps/lcc.h"
#include "maps/map_view.h"
#include "maps/mbtiles.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/tile_fetch.h"
#include "maps/tile_source.h"
#include "maps/view_plane.h"
#include "maps/webp_image.h"
#include "maps/wms_request.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "settings/app_settings.h"
#include "settings/atomic_file.h"

namespace {

const double kHalfWorld = WORLD_GRID_MERCATOR_HALF_WIDTH;
// Sheet pixels between exactly projected points; in between the plane is
// bent so little that a straight line is off by far less than a pixel.
const int kGridStep = 8;
// More tiles than this for one sheet means a wrong zoom or extent.
const int kMaxTiles = 64;
// All the tiles of one sheet, however many and however slow the server.
const int kSheetDeadlineMs = 90000;

// Web Mercator metres of a point of the sheet's plane.
int toMercator(int epsg, double x, double y, double* mx, double* my) {
    if (epsg == VIEW_PLANE_WEB_MERCATOR) {
        *mx = x;
        *my = y;
        return 1;
    }
    double lat = 0, lon = 0;
    return lcc2ll(&lat, &lon, x, y) && world_grid_to_mercator(lat, lon, mx, my);
}

// The Mercator point of every kGridStep-th sheet pixel (and the last row and column).
struct PlaneGrid {
    int cols = 0, rows = 0;
    std::vector<double> mx, my;
};

int makeGrid(const SheetExtent* e, int w, int h, PlaneGrid* g) {
    g->cols = (w - 1 + kGridStep - 1) / kGridStep + 1;
    g->rows = (h - 1 + kGridStep - 1) / kGridStep + 1;
    g->mx.resize(static_cast<size_t>(g->cols * g->rows));
    g->my.resize(g->mx.size());
    double sx = (e->maxX - e->minX) / (w - 1), sy = (e->maxY - e->minY) / (h - 1);
    for (int r = 0; r < g->rows; ++r)
        for (int c = 0; c < g->cols; ++c) {
            int i = std::min(c * kGridStep, w - 1), j = std::min(r * kGridStep, h - 1);
            size_t k = static_cast<size_t>(r * g->cols + c);
            if (!toMercator(e->epsg, e->minX + i * sx, e->maxY - j * sy, &g->mx[k], &g->my[k])) return 0;
        }
    return 1;
}

// The tiles the sheet needs, as one picture of the zoom's pixels: only the
// part the sheet samples is kept, not the whole tiles (a sheet touching
// the corners of four tiles needs a few pixels of each, not a megabyte).
struct Mosaic {
    int z = 0, x0 = 0, y0 = 0, cols = 0, rows = 0;  // the tiles
    int left = 0, top = 0, width = 0, height = 0;   // the zoom's pixels kept
    std::vector<unsigned char> rgb;                 // width by height, white where no tile
};

// Copies the kept part of a decoded tile into its place (scaled when it is
// not 256 pixels).
void place(Mosaic* m, int col, int row, const unsigned char* px, int w, int h) {
    const int tileLeft = (m->x0 + col) * TILE_SIZE, tileTop = (m->y0 + row) * TILE_SIZE;
    const int i0 = std::max(0, m->left - tileLeft), i1 = std::min(TILE_SIZE, m->left + m->width - tileLeft);
    const int j0 = std::max(0, m->top - tileTop), j1 = std::min(TILE_SIZE, m->top + m->height - tileTop);
    for (int j = j0; j < j1; ++j) {
        int sj = j * h / TILE_SIZE;
        unsigned char* out =
            &m->rgb[(static_cast<size_t>(tileTop + j - m->top) * m->width + (tileLeft + i0 - m->left)) * 3];
        if (w == TILE_SIZE) {
            if (i1 > i0) memcpy(out, px + (static_cast<size_t>(sj) * w + i0) * 3, static_cast<size_t>(i1 - i0) * 3);
            continue;
        }
        for (int i = i0; i < i1; ++i)
            memcpy(out + (i - i0) * 3, px + (static_cast<size_t>(sj) * w + i * w / TILE_SIZE) * 3, 3);
    }
}

int decodeTile(const std::string& path, unsigned char** px, int* w, int* h) {
    unsigned char head[16];
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    size_t n = fread(head, 1, sizeof head, f);
    fclose(f);
    if (webp_is_image(head, n)) return webp_read_rgb(path.c_str(), px, w, h);
    int format = sheet_image_format(head, n);
    return format >= 0 && sheet_image_decode_file(path.c_str(), format, px, w, h);
}

// The tiles of zoom z that an MBTiles file's bounds cover (all of them
// when it says none).
struct TileRange {
    int x0 = 0, y0 = 0, x1 = 1 << 30, y1 = 1 << 30;
    bool holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

TileRange boundsRange(int z, int haveBounds, const double bounds[4]) {
    TileRange r;
    double west = 0, north = 0, east = 0, south = 0;
    if (!haveBounds || !world_grid_to_mercator(std::min(bounds[3], 85.05), bounds[0], &west, &north) ||
        !world_grid_to_mercator(std::max(bounds[1], -85.05), bounds[2], &east, &south))
        return r;
    const double perTile = TILE_ZOOM0_METRES * TILE_SIZE / std::ldexp(1.0, z);
    r.x0 = static_cast<int>(std::floor((west + kHalfWorld) / perTile));
    r.x1 = static_cast<int>(std::floor((east + kHalfWorld) / perTile));
    r.y0 = static_cast<int>(std::floor((kHalfWorld - north) / perTile));
    r.y1 = static_cast<int>(std::floor((kHalfWorld - south) / perTile));
    return r;
}

// Fills the mosaic from the MBTiles file, through a temporary file the
// decoders read; tiles beyond the file's bounds are empty without asking.
int fillFromMbtiles(MbtilesFile* db, const char* file, const TileRange& covered, Mosaic* m, std::string* why) {
    SheetTempFiles temp;
    sheet_download_temp_files_make(&temp);
    int ok = 1, empty = 0;
    for (int r = 0; r < m->rows && ok; ++r)
        for (int c = 0; c < m->cols && ok; ++c) {
            std::string bytes;
            int found = covered.holds(m->x0 + c, m->y0 + r) ? mbtiles_read_tile(db, m->z, m->x0 + c, m->y0 + r, &bytes, why) : 0;
            if (found < 0) ok = 0;
            empty += found == 0;
            if (found <= 0) continue;
            unsigned char* px = nullptr;
            int w = 0, h = 0;
            if (!write_file_atomically(temp.image, bytes.data(), bytes.size())) {
                *why = std::string("A tile of the MBTiles file cannot be written to ") + temp.image + ": " + strerror(errno);
                ok = 0;
                continue;
            }
            if (!decodeTile(temp.image, &px, &w, &h)) {
                *why = "A tile of the MBTiles file does not decode";
                ok = 0;
                continue;
            }
            place(m, c, r, px, w, h);
            free(px);
        }
    sheet_download_temp_files_remove(&temp);
    if (ok && empty == m->cols * m->rows) {
        *why = std::string("The MBTiles file ") + file + " has no tile of the sheet at zoom " + std::to_string(m->z);
        ok = 0;
    }
    return ok;
}

bool tileInCache(const std::string& path, const char* cacheDir) {
    size_t n = strlen(cacheDir);
    return path.compare(0, n, cacheDir) == 0 && path.size() > n && path[n] == '/';
}

// Fills the mosaic through the cache, TILE_HOST_CONNECTIONS tiles at a time.
int fillFromCache(const TileSource* source, const char* cacheDir, int refresh, Mosaic* m, std::string* why) {
    int n = m->cols * m->rows;
    std::vector<std::string> paths(static_cast<size_t>(n)), reasons(static_cast<size_t>(n));
    std::vector<int> ok(static_cast<size_t>(n), 0);
    std::atomic<int> next{0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSheetDeadlineMs);
    auto work = [&] {
        for (int k; (k = next++) < n;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                reasons[k] = "The tile server took longer than " + std::to_string(kSheetDeadlineMs / 1000) +
                             " s for the sheet's tiles";
                continue;
            }
            ok[k] = tile_fetch_cached(source, cacheDir, m->z, m->x0 + k % m->cols, m->y0 + k / m->cols, refresh, &paths[k],
                                    &reasons[k], static_cast<int>(left.count()));
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < std::min(n, static_cast<int>(TILE_HOST_CONNECTIONS)); ++t) workers.emplace_back(work);
    work();
    for (std::thread& t : workers) t.join();
    int empty = 0, stale = 0;
    for (int k = 0; k < n; ++k) {
        if (!ok[k]) {
            *why = reasons[k];
            return 0;
        }
        empty += paths[k].empty();
        stale += ok[k] == 2;
    }
    // A renewal the server answered for no tile is no renewal: the stored
    // sheet stays as it is and the reason is said. Offline, a new sheet is
    // still made of the cached tiles.
    if (refresh && stale == n) {
        *why = reasons[0];
        return 0;
    }
    // A server that has none of a sheet's tiles is a wrong address or a
    // server in trouble, never a sheet of nothing.
    if (empty == n) {
        // Nor is it remembered: the next try asks again.
        for (int k = 0; k < n; ++k)
            unlink((tile_fetch_cache_path(cacheDir, m->z, m->x0 + k % m->cols, m->y0 + k / m->cols) + ".cache").c_str());
        char url[SHEET_URL_MAX];
        tile_source_url(url, sizeof url, source, m->z, m->x0, m->y0);
        *why = "The tile server has none of the sheet's " + std::to_string(n) + " tiles (HTTP 404), for example " +
               url + ": check Tiles=";
        return 0;
    }
    for (int k = 0; k < n; ++k) {
        if (paths[k].empty()) continue;  // no such tile: white
        unsigned char* px = nullptr;
        int w = 0, h = 0;
        if (!decodeTile(paths[k], &px, &w, &h)) {
            // A cached tile is asked again next time; a tile of the user's
            // own folder is the user's, whatever is wrong with it.
            if (tileInCache(paths[k], cacheDir)) unlink(paths[k].c_str());
            *why = "A cached tile does not decode: " + paths[k];
            return 0;
        }
        place(m, k % m->cols, k / m->cols, px, w, h);
        free(px);
    }
    return 1;
}

// Bilinear sample of the mosaic at (px, py), pixel centres at whole
// numbers, with 8-bit weights; beyond the edge the edge pixel.
inline void sample(const Mosaic& m, float px, float py, unsigned char* o) {
    const int mw = m.width, mh = m.height;
    int fx = static_cast<int>(std::floor(px * 256.0f)), fy = static_cast<int>(std::floor(py * 256.0f));
    int x0 = fx >> 8, y0 = fy >> 8, ax = fx & 255, ay = fy & 255;
    int xa = std::clamp(x0, 0, mw - 1), xb = std::clamp(x0 + 1, 0, mw - 1);
    int ya = std::clamp(y0, 0, mh - 1), yb = std::clamp(y0 + 1, 0, mh - 1);
    const unsigned char* src = m.rgb.data();
    const unsigned char* p00 = src + (static_cast<size_t>(ya) * mw + xa) * 3;
    const unsigned char* p01 = src + (static_cast<size_t>(ya) * mw + xb) * 3;
    const unsigned char* p10 = src + (static_cast<size_t>(yb) * mw + xa) * 3;
    const unsigned char* p11 = src + (static_cast<size_t>(yb) * mw + xb) * 3;
    for (int ch = 0; ch < 3; ++ch) {
        int top = p00[ch] * (256 - ax) + p01[ch] * ax, bottom = p10[ch] * (256 - ax) + p11[ch] * ax;
        o[ch] = static_cast<unsigned char>((top * (256 - ay) + bottom * ay + 32768) >> 16);
    }
}

// Each sheet pixel from the mosaic: the grid turned into mosaic pixels
// (a linear step of Mercator metres), then straight lines between its
// points along each row.
void resample(const Mosaic& m, const PlaneGrid& g, int w, int h, unsigned char* out) {
    const double scale = std::ldexp(1.0, m.z) / TILE_ZOOM0_METRES;
    std::vector<float> gx(g.mx.size()), gy(g.my.size()), rowX(static_cast<size_t>(g.cols)), rowY(rowX.size());
    for (size_t k = 0; k < gx.size(); ++k) {
        // Pixel centres sit half a pixel into the tile.
        gx[k] = static_cast<float>((g.mx[k] + kHalfWorld) * scale - m.left - 0.5);
        gy[k] = static_cast<float>((kHalfWorld - g.my[k]) * scale - m.top - 0.5);
    }
    for (int j = 0; j < h; ++j) {
        int r = std::min(j / kGridStep, g.rows - 2);
        float fy = static_cast<float>(j - r * kGridStep) / static_cast<float>(std::min(kGridStep, h - 1 - r * kGridStep));
        for (int c = 0; c < g.cols; ++c) {
            size_t k = static_cast<size_t>(r * g.cols + c), k2 = k + static_cast<size_t>(g.cols);
            rowX[c] = gx[k] + (gx[k2] - gx[k]) * fy;
            rowY[c] = gy[k] + (gy[k2] - gy[k]) * fy;
        }
        unsigned char* o = out + static_cast<size_t>(j) * w * 3;
        for (int c = 0; c + 1 < g.cols; ++c) {
            int from = c * kGridStep, to = std::min(from + kGridStep, w - 1), steps = to - from;
            float dx = (rowX[c + 1] - rowX[c]) / static_cast<float>(steps), dy = (rowY[c + 1] - rowY[c]) / static_cast<float>(steps);
            int last = c + 2 == g.cols ? to : to - 1;  // the next stretch starts where this one ends
            for (int i = from; i <= last; ++i)
                sample(m, rowX[c] + dx * static_cast<float>(i - from), rowY[c] + dy * static_cast<float>(i - from), o + i * 3);
        }
    }
}

}  // namespace

Result tile_make_sheet(const TileSource* source, const char* cacheDir, const SheetExtent* e, int w, int h,
                       int refresh, unsigned char** rgb) {
    *rgb = nullptr;
    std::string reason;
    std::string* why = &reason;
    PlaneGrid g;
    if (w < 2 || h < 2 || !makeGrid(e, w, h, &g)) {
        return result_fail("The projection cannot place the sheet");
    }
    // The zoom of the sheet's finest Mercator step across its middle row.
    size_t mid = static_cast<size_t>((g.rows / 2) * g.cols);
    double span = std::hypot(g.mx[mid + g.cols - 1] - g.mx[mid], g.my[mid + g.cols - 1] - g.my[mid]);
    // An MBTiles file that stops at a coarser zoom is enlarged from its finest.
    const char* file = nullptr;
    int maxZoom = tile_source_max_zoom(source), haveBounds = 0;
    double bounds[4] = {0, 0, 0, 0};
    MbtilesFile* db = nullptr;
    if (tile_source_is_mbtiles(source, &file)) {
        if (!(db = mbtiles_open(file, why))) return result_fail(reason);
        int fileMax = maxZoom;
        mbtiles_limits(db, &fileMax, &haveBounds, bounds);
        maxZoom = std::min(maxZoom, fileMax);
    }
    std::unique_ptr<MbtilesFile, void (*)(MbtilesFile*)> closer(db, mbtiles_close);
    Mosaic m;
    m.z = tile_source_zoom_for(span / (w - 1), maxZoom);
    const double scale = std::ldexp(1.0, m.z) / TILE_ZOOM0_METRES;
    double minPx = 1e300, minPy = 1e300, maxPx = -1e300, maxPy = -1e300;
    for (size_t k = 0; k < g.mx.size(); ++k) {
        double px = (g.mx[k] + kHalfWorld) * scale, py = (kHalfWorld - g.my[k]) * scale;
        minPx = std::min(minPx, px), maxPx = std::max(maxPx, px);
        minPy = std::min(minPy, py), maxPy = std::max(maxPy, py);
    }
    int last = (1 << m.z) - 1;
    m.x0 = std::clamp(static_cast<int>(std::floor((minPx - 1) / TILE_SIZE)), 0, last);
    m.y0 = std::clamp(static_cast<int>(std::floor((minPy - 1) / TILE_SIZE)), 0, last);
    m.cols = std::clamp(static_cast<int>(std::floor((maxPx + 1) / TILE_SIZE)), 0, last) - m.x0 + 1;
    m.rows = std::clamp(static_cast<int>(std::floor((maxPy + 1) / TILE_SIZE)), 0, last) - m.y0 + 1;
    if (m.cols * m.rows > kMaxTiles) {
        return result_fail("The sheet would need " + std::to_string(m.cols * m.rows) + " tiles");
    }
    // Sampling reads the pixels around each point, all within a pixel of
    // the grid's hull; beyond the world's edge the edge pixel is read.
    const int right = (m.x0 + m.cols) * TILE_SIZE - 1, bottom = (m.y0 + m.rows) * TILE_SIZE - 1;
    m.left = std::clamp(static_cast<int>(std::floor(minPx)) - 2, m.x0 * TILE_SIZE, right);
    m.top = std::clamp(static_cast<int>(std::floor(minPy)) - 2, m.y0 * TILE_SIZE, bottom);
    m.width = std::clamp(static_cast<int>(std::floor(maxPx)) + 2, m.left, right) - m.left + 1;
    m.height = std::clamp(static_cast<int>(std::floor(maxPy)) + 2, m.top, bottom) - m.top + 1;
    m.rgb.assign(static_cast<size_t>(m.width) * m.height * 3, 255);
    int filled = db ? fillFromMbtiles(db, file, boundsRange(m.z, haveBounds, bounds), &m, why)
                    : fillFromCache(source, cacheDir, refresh, &m, why);
    if (!filled) return result_fail(reason);
    *rgb = static_cast<unsigned char*>(malloc(static_cast<size_t>(w) * h * 3));
    if (!*rgb) {
        return result_fail("Out of memory");
    }
    resample(m, g, w, h, *rgb);
    return result_ok();
}

Result tile_download_sheet(const TileSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                           const char* mapsDir, const char* mapsRoot, int refresh, char* outPath) {
    int w = view_sheet_width(bigMaps), h = view_sheet_height(bigMaps);
    int format = aerial ? SHEET_JPEG : SHEET_PNG;
    if (!sheet_path(outPath, SHEET_PATH_MAX, mapsDir, lat, lon, level, bigMaps, format)) {
        return result_fail(std::string("The sheet's path in ") + mapsDir + " is too long");
    }
    std::string folder(outPath, static_cast<size_t>(strrchr(outPath, '/') - outPath));
    if (Result made = sheet_create_folder_of(mapsDir, folder.c_str()); !made) return made;
    SheetExtent e{};
    e.scale = zoom_level_scale(level);
    if (!sheet_download_plane_centre(lat, lon, level, bigMaps, &e.centreX, &e.centreY, &e.angle, &e.epsg)) {
        return result_fail("The projection cannot place the sheet");
    }
    WmsBox box = wms_sheet_box(e.centreX, e.centreY, e.scale, w, h);
    e.minX = box.minX, e.minY = box.minY, e.maxX = box.maxX, e.maxY = box.maxY;
    char record[SHEET_GIF_RECORD_MAX + 1], cache[SHEET_PATH_MAX];
    if (sheet_extent_format(record, sizeof record, &e) <= 0 || !tile_source_cache_folder(cache, sizeof cache, mapsRoot, source)) {
        return result_fail("The sheet's record or tile cache path is too long");
    }
    unsigned char* rgb = nullptr;
    if (Result made = tile_make_sheet(source, cache, &e, w, h, refresh, &rgb); !made) return made;
    SheetTempFiles temp;
    sheet_download_temp_files_make(&temp);
    Result stored = sheet_download_store_pixels(outPath, format, rgb, w, h, record, &temp);
    sheet_download_temp_files_remove(&temp);
    free(rgb);
    return stored;
}
