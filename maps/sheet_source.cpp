#include "maps/sheet_source.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "maps/map_view.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_store.h"
#include "maps/tile_source.h"
#include "settings/app_settings.h"
#include "settings/atomic_file.h"
#include "settings/text_scan.h"

namespace {

const int kDefaultMaxAgeDays = 30;

// Says which sources made a store's sheets, for kivsheet store, for people
// and for the maps folder's own store.
void writeNote(const char* root, const char* folder, const std::string& text) {
    if (sheet_create_folder_of(root, folder))
        write_file_atomically((std::string(folder) + "/source.txt").c_str(), text.c_str(), text.size());
}

// The maps folder keeps the sheets of one map server address, the one its
// note names. A folder without a note (a store older than sources, or a
// new one) takes the address in use. A loopback server on another port is
// another server: it may serve other maps.
int mapsFolderServes(const char* root, const std::string& text) {
    FILE* f = fopen((std::string(root) + "/source.txt").c_str(), "r");
    if (!f) {
        writeNote(root, root, text);
        return 1;
    }
    char said[4096];
    size_t n = fread(said, 1, sizeof said, f);
    fclose(f);
    return text == std::string(said, n);
}

}  // namespace

int sheet_source_kind(const AppSettings* s, int aerial) {
    if ((aerial ? s->tilesAerial : s->tiles).url[0]) return SHEET_SOURCE_TILES;
    if ((aerial ? s->wmsAerial : s->wms).url[0]) return SHEET_SOURCE_WMS;
    return SHEET_SOURCE_SERVER;
}

std::string sheet_source_name(const AppSettings* s, int aerial) {
    const WmsSource& w = aerial ? s->wmsAerial : s->wms;
    switch (sheet_source_kind(s, aerial)) {
    case SHEET_SOURCE_TILES: {
        // The zoom limit changes the picture (a stop short of the finest
        // tiles enlarges coarser ones), so its sheets are others.
        const TileSource& t = aerial ? s->tilesAerial : s->tiles;
        return std::string("tiles ") + t.url + (t.maxZoom > 0 ? " maxzoom " + std::to_string(t.maxZoom) : "");
    }
    case SHEET_SOURCE_WMS:
        return std::string("wms ") + w.url + " " + w.layers + " " + w.styles + " " + w.format + " " + w.version;
    default: {
        char root[SHEET_URL_MAX];
        return std::string("server ") + (sheet_download_server_root(s, root, sizeof root) ? root : s->serverUrl);
    }
    }
}

std::string sheet_source_shown(const AppSettings* s, int aerial) {
    const TileSource& t = aerial ? s->tilesAerial : s->tiles;
    const char* file = nullptr;
    char host[256];
    switch (sheet_source_kind(s, aerial)) {
    case SHEET_SOURCE_TILES:
        if (tile_source_is_mbtiles(&t, &file)) return file;
        tile_source_host(&t, host, sizeof host);
        return host[0] ? host : t.url;
    case SHEET_SOURCE_WMS:
        return (aerial ? s->wmsAerial : s->wms).url;
    default: {
        char root[SHEET_URL_MAX];
        return s->serverUrl[0] || !sheet_download_server_root(s, root, sizeof root) ? s->serverUrl : root;
    }
    }
}

const char* sheet_source_maps_root(const AppSettings* s) { return s->mapsRoot[0] ? s->mapsRoot : s->mapsDir; }

const char* sheet_source_store_dir(const AppSettings* s, int aerial) {
    return aerial && s->mapsDirAerial[0] ? s->mapsDirAerial : s->mapsDir;
}

Result sheet_source_select_store(AppSettings* s) {
    if (!s->mapsRoot[0]) memcpy(s->mapsRoot, s->mapsDir, sizeof s->mapsRoot);
    // Each kind follows its own source: a new aerial source leaves the
    // topographic sheets where they are, and the other way round.
    char folders[2][sizeof s->mapsDir];
    for (int aerial = 0; aerial < 2; ++aerial) {
        std::string name = sheet_source_name(s, aerial);
        int kind = sheet_source_kind(s, aerial);
        if (kind == SHEET_SOURCE_SERVER && mapsFolderServes(s->mapsRoot, "topographic: " + name + "\naerial: " + name + "\n")) {
            memcpy(folders[aerial], s->mapsRoot, sizeof folders[aerial]);
            continue;
        }
        static const char* const kinds[] = {"server", "wms", "tiles"};
        int n = snprintf(folders[aerial], sizeof folders[aerial], "%s/sources/%s-%08x", s->mapsRoot, kinds[kind],
                         text_fnv1a(name.c_str()));
        if (n <= 0 || static_cast<size_t>(n) >= sizeof folders[aerial]) {
            return result_fail(std::string("The maps folder's name is too long for a store of the sources: ") +
                               s->mapsRoot);
        }
        struct stat st;
        if (stat((std::string(folders[aerial]) + "/source.txt").c_str(), &st) != 0)
            writeNote(s->mapsRoot, folders[aerial], name + "\n");
    }
    memcpy(s->mapsDir, folders[0], sizeof s->mapsDir);
    memcpy(s->mapsDirAerial, folders[1], sizeof s->mapsDirAerial);
    return result_ok();
}

int sheet_source_max_age_days(const AppSettings* s, int aerial) {
    if (s->maxAgeDays >= 0) return s->maxAgeDays;
    return sheet_source_kind(s, aerial) == SHEET_SOURCE_SERVER ? -1 : kDefaultMaxAgeDays;
}

int sheet_source_is_stale(const AppSettings* s, int aerial, const char* path) {
    int days = sheet_source_max_age_days(s, aerial);
    struct stat st;
    if (days < 0 || stat(path, &st) != 0) return 0;
    return difftime(time(nullptr), st.st_mtime) > days * 86400.0;
}
