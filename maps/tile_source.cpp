#include "maps/tile_source.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "maps/sheet_store.h"
#include "settings/app_settings.h"
#include "settings/text_scan.h"

namespace {

bool endsWith(const std::string& s, const char* tail) {
    size_t n = strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

}  // namespace

int tile_source_is_mbtiles(const TileSource* source, const char** path) {
    if (strncmp(source->url, "mbtiles:", 8) != 0) return 0;
    if (path) *path = source->url + 8;
    return 1;
}

int tile_source_max_zoom(const TileSource* source) {
    return source->maxZoom > 0 ? source->maxZoom : TILE_DEFAULT_MAX_ZOOM;
}

int tile_source_no_bulk(const TileSource* source) {
    if (source->noBulk) return 1;
    char host[256];
    tile_source_host(source, host, sizeof host);
    std::string h = host;
    return h == "tile.openstreetmap.org" || endsWith(h, ".tile.openstreetmap.org");
}

int tile_source_bulk_refused(const TileSource* source, long sheets, int bigMaps, const char* mapsRoot, std::string* why) {
    if (!source->url[0] || !tile_source_no_bulk(source)) return 0;
    long tiles = sheets * (bigMaps ? TILE_PER_BIG_SHEET : TILE_PER_SHEET);
    // What earlier runs took counts too: many small areas are one bulk download.
    char folder[1024];
    std::string tally;
    long before = 0;
    if (mapsRoot && tile_source_cache_folder(folder, sizeof folder, mapsRoot, source)) {
        tally = std::string(folder) + "/bulk.txt";
        long long since = static_cast<long long>(time(nullptr)) - TILE_NO_BULK_DAYS * 86400LL, when = 0;
        long n = 0;
        if (FILE* f = fopen(tally.c_str(), "r")) {
            while (fscanf(f, "%lld %ld", &when, &n) == 2)
                if (when > since && n > 0) before += n;
            fclose(f);
        }
    }
    if (before + tiles <= TILE_NO_BULK_MAX_TILES) {
        if (!tally.empty() && sheet_create_folder_of(mapsRoot, folder))
            if (FILE* f = fopen(tally.c_str(), "a")) {
                fprintf(f, "%lld %ld\n", static_cast<long long>(time(nullptr)), tiles);
                fclose(f);
            }
        return 0;
    }
    tiles += before;
    char host[128];
    tile_source_host(source, host, sizeof host);
    *why = std::to_string(sheets) + " sheets take about " + std::to_string(tiles) + " tiles from " +
           (host[0] ? host : "the tile source") + ", whose usage policy forbids bulk downloads (at most " +
           std::to_string(TILE_NO_BULK_MAX_TILES) +
           " tiles here): sheets of it are fetched as they are viewed; for an area, use a source that allows it";
    return 1;
}

void tile_source_host(const TileSource* source, char* out, size_t size) {
    out[0] = 0;
    if (tile_source_is_mbtiles(source)) return;
    const char* from = strstr(source->url, "://");
    from = from ? from + 3 : source->url;
    // Past any "user:password@"; host names know no case.
    size_t authority = strcspn(from, "/?#");
    const char* at = static_cast<const char*>(memchr(from, '@', authority));
    if (at) from = at + 1;
    size_t n = strcspn(from, "/:?#");
    if (n >= size) n = size - 1;
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>(tolower(static_cast<unsigned char>(from[i])));
    out[n] = 0;
}

int tile_source_url(char* out, size_t size, const TileSource* source, int z, int x, int y) {
    std::string url;
    const char* subdomains = source->subdomains[0] ? source->subdomains : "abc";
    for (const char* p = source->url; *p;) {
        if (*p != '{') {
            url += *p++;
            continue;
        }
        const char* end = strchr(p, '}');
        std::string name = end ? std::string(p + 1, end) : "";
        if (name == "z") url += std::to_string(z);
        else if (name == "x") url += std::to_string(x);
        else if (name == "y") url += std::to_string(y);
        else if (name == "-y") url += std::to_string((1 << z) - 1 - y);
        else if (name == "s") url += subdomains[(x + y) % strlen(subdomains)];
        else {
            url += *p++;  // not ours: kept as written
            continue;
        }
        p = end + 1;
    }
    if (url.size() >= size) {
        if (size) out[0] = 0;
        return 0;
    }
    memcpy(out, url.c_str(), url.size() + 1);
    return 1;
}

int tile_source_zoom_for(double metresPerPixel, int maxZoom) {
    int z = 0;
    while (z < maxZoom && TILE_ZOOM0_METRES / std::ldexp(1.0, z) > metresPerPixel * 1.0000001) ++z;
    return z;
}

int tile_source_cache_folder(char* out, size_t size, const char* mapsDir, const TileSource* source) {
    char host[128];
    tile_source_host(source, host, sizeof host);
    for (char* c = host; *c; ++c)
        if (*c == '{' || *c == '}') *c = '_';
    int n = snprintf(out, size, "%s/tiles/%s-%08x", mapsDir, host[0] ? host : "local", text_fnv1a(source->url));
    return n > 0 && static_cast<size_t>(n) < size;
}
