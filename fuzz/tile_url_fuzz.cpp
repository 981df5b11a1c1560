// Tile URL templates (Tiles=, TilesSubdomains=) and the world grid on
// arbitrary input: the URL, host and cache folder of a tile stay within
// their buffers, the zoom within its limit, and a position snaps to a
// sheet centre of the plane it reports, or to none with a reason.
//
// Input: latitude and longitude (8 bytes each, as doubles), level, big
// maps and zoom (a byte each), column and row (4 bytes each), then the
// template, a line break and the subdomains.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "maps/tile_source.h"
#include "maps/world_grid.h"
#include "settings/app_settings.h"

namespace {

const size_t kHead = 27;

template <class T>
T take(const uint8_t* p) {
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}

void checkGrid(double lat, double lon, int level, int bigMaps) {
    double sheetLat = 0, sheetLon = 0, x = 0, y = 0, back = 0, backLon = 0;
    const char* why = nullptr;
    int plane = world_grid_snap(lat, lon, level, bigMaps, &sheetLat, &sheetLon, &why);
    if (plane == VIEW_PLANE_NONE) {
        if (!why || !why[0]) abort();
    } else if (!world_grid_is_position(sheetLat, sheetLon) || world_grid_plane_of(sheetLat, sheetLon, level, bigMaps) != plane) {
        abort();
    }
    if (world_grid_to_mercator(lat, lon, &x, &y)) {
        if (!std::isfinite(x) || !std::isfinite(y)) abort();
        if (world_grid_from_mercator(x, y, &back, &backLon) && !world_grid_is_position(back, backLon)) abort();
    }
}

void checkTemplate(const TileSource& source, int z, uint32_t x, uint32_t y, double metresPerPixel) {
    x %= 1u << z, y %= 1u << z;
    char url[SETTINGS_URL_MAX + 64], small[24], host[128], folder[SETTINGS_PATH_MAX];
    for (size_t size : {sizeof url, sizeof small}) {
        char* out = size == sizeof url ? url : small;
        if (tile_source_url(out, size, &source, z, static_cast<int>(x), static_cast<int>(y)) ? strnlen(out, size) >= size
                                                                                    : out[0] != 0)
            abort();
    }
    tile_source_host(&source, host, sizeof host);
    if (strnlen(host, sizeof host) >= sizeof host) abort();
    if (tile_source_cache_folder(folder, sizeof folder, "/maps", &source) && strnlen(folder, sizeof folder) >= sizeof folder)
        abort();
    int maxZoom = tile_source_max_zoom(&source), zoom = tile_source_zoom_for(metresPerPixel, maxZoom);
    if (zoom < 0 || zoom > maxZoom) abort();
    std::string why;
    if (tile_source_bulk_refused(&source, static_cast<long>(x), 0, nullptr, &why) && why.empty()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHead) return 0;
    double lat = take<double>(data), lon = take<double>(data + 8);
    int level = data[16] % 5, bigMaps = data[17] & 1, z = data[18] % 31;
    checkGrid(lat, lon, level, bigMaps);

    TileSource source{};
    std::string text(reinterpret_cast<const char*>(data + kHead), size - kHead);
    size_t cut = text.find('\n');
    snprintf(source.url, sizeof source.url, "%s", text.substr(0, cut).c_str());
    if (cut != std::string::npos) snprintf(source.subdomains, sizeof source.subdomains, "%s", text.substr(cut + 1).c_str());
    source.maxZoom = z;  // as TilesMaxZoom= allows: 0 (the default) to 30
    source.noBulk = data[17] >> 1 & 1;
    checkTemplate(source, z, take<uint32_t>(data + 19), take<uint32_t>(data + 23), std::fabs(lon));
    return 0;
}
