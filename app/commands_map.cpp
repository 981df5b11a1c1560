#include "app/commands_map.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/display_bitmap.h"
#include "app/navigation.h"
#include "app/pane_notice.h"
#include "app/view_pane.h"
#include "app/sheet_fetching.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_download.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_reload.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "maps/zoom_levels.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/com_file.h"
#include "settings/menu_ids.h"

const char OPEN_MAP_FILTERS[] = "GIF Files (*.GIF)|*.gif|JPG Files (*.JPG)|*.jpg|All Files (*.*)|*.*";
const char OPEN_MAP_FOLDER[] = "./Maps";
const char OPEN_MAP_DEFAULT_EXT[] = "gif";

namespace {


// The filter the user chose last stays for the next Open Map of the run.
int openMapFilter = 0;

const char* lastComponent(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The sheet the download module brings (or finds), called directly so the
// online flag does not matter. Without the download module, the store.
Result fetchSheet(const AppSettings* s, int aerial, double lat, double lon, int level, char* out) {
    const SheetDownloadHooks& h = sheet_download_hooks;
    if (aerial && h.aerialSheet) return h.aerialSheet(lat, lon, level, s, out, s->bigMaps);
    if (!aerial && h.topoSheet) return h.topoSheet(lat, lon, level, s, out, s->bigMaps, s->rose, s->grid);
    if (find_sheet_of(aerial ? SHEET_JPEG : SHEET_GIF, &lat, &lon, &level, sheet_source_store_dir(s, aerial), out, s->bigMaps, 0))
        return result_ok();
    return result_fail("");
}

// A ready sheet becomes the picture (its display bitmap too); 0 when it
// failed to load (the load has reported it, the old picture stays).
int loadReady(const char* path) {
    snprintf(map_view.sheetPath, sizeof map_view.sheetPath, "%s", path);
    return nav_load_picture();
}

void rebuildBitmap() { display_bitmap_rebuild(map_view); }

void setChecked(int32_t* field, int id, int on) {
    *field = on;
    platform_menu_check(id, on);
}

// Aerial view asked for where the service has none: back to topographic.
// The mode is switched before the message, so a paint while the box is up
// already looks for topographic sheets.
void noAerialSheet(AppSettings* s, const std::string& why) {
    setChecked(&s->satelliteImage, MENU_SATELLITE_IMAGE, 0);
    std::string text = std::string("No aerial map available") + (why.empty() ? "" : ": ") + why;
    platform_warn(text.c_str());
}

// The extents held are those of the sheet before; read them again.
void forgetExtents() { map_view.extForZoom = -1; }

// The loaded picture on screen as the displayed sheet at (lat, lon, level).
void showAsDisplayed(double lat, double lon, int level, int erase) {
    rebuildBitmap();
    platform_invalidate(erase);
    map_view.sheetLat = lat;
    map_view.sheetLon = lon;
    map_view.zoomLevel = level;
    forgetExtents();
}

// The extent record of the file at path becomes the one held for the
// displayed sheet; without a record, an empty extent (nothing is placed).
void holdExtentsOf(const char* path, int format) {
    char text[SHEET_JPEG_RECORD_MAX + 1];
    SheetExtent e{};
    int len = sheet_extent_read_record(path, format, text, sizeof text);
    if (len < 0 || !sheet_extent_parse(text, static_cast<size_t>(len), &e)) e = SheetExtent{};
    // A sheet of its own is shown as it is: not turned.
    map_view_hold_extents(&map_view, {e.centreX, e.centreY, e.minX, e.minY, e.maxX, e.maxY,
                                      e.epsg ? e.epsg : VIEW_PLANE_CANADA_LAMBERT, 0});
}

}  // namespace

int open_map_parse_name(const char* path, int* bigMaps, int* level, double* lat, double* lon) {
    const char* name = lastComponent(path);
    // "ma": the Canadian grid's sheets; "wm": Web Mercator sheets, whose
    // names hold their centre to the second.
    bool mercator = strncmp(name, "wm", 2) == 0;
    if (!mercator && strncmp(name, "ma", 2) != 0) return 0;
    char pattern[] = "%c_z%d_%c%3d%2d%2d_%c%3d%2d%2d.%n";
    pattern[3] = zoom_level_name_letter();
    char size, ew, ns;
    int lv, lonD, lonM, lonS, latD, latM, latS, used = -1;
    if (sscanf(name + 2, pattern, &size, &lv, &ew, &lonD, &lonM, &lonS, &ns, &latD, &latM, &latS, &used) != 10 ||
        used < 0)
        return 0;
    if (lv < 0 || lv > ZOOM_FINEST || (ew != 'w' && ew != 'e') || (ns != 'n' && ns != 's')) return 0;
    if (lonD < 0 || lonD > 180 || latD < 0 || latD > 90 || lonM < 0 || lonM > 59 || latM < 0 || latM > 59 ||
        lonS < 0 || lonS > 59 || latS < 0 || latS > 59)
        return 0;
    *bigMaps = size == 'c' || size == 'q' ? 0 : size == 'd' || size == 'z' ? 1 : -1;
    *level = lv;
    *lon = dms_to_degrees(lonD, lonM, lonS) * (ew == 'w' ? -1 : 1);
    *lat = dms_to_degrees(latD, latM, latS) * (ns == 's' ? -1 : 1);
    if (mercator) {
        const char* why;
        double cLat, cLon;
        if (world_grid_snap(*lat, *lon, lv, *bigMaps > 0, &cLat, &cLon, &why) != VIEW_PLANE_WEB_MERCATOR) return 0;
        *lat = cLat;
        *lon = cLon;
    }
    return 1;
}

int open_map_tree_root(const char* path, double lat, double lon, const char* mapsDir, char* out, size_t size) {
    char folders[SHEET_PATH_MAX];
    if (!sheet_folder(folders, sizeof folders, "", lat, lon)) return 0;   // "/w070/w075n045"
    const char* mapsName = lastComponent(mapsDir);
    const char* name = lastComponent(path);
    if (!mapsName[0] || name == path) return 0;
    // "/" + the folder of the file, so that a relative path matches too.
    std::string dir = "/" + std::string(path, static_cast<size_t>(name - path - 1));
    auto endsWith = [&dir](const std::string& tail) {
        return dir.size() >= tail.size() && dir.compare(dir.size() - tail.size(), tail.size(), tail) == 0;
    };
    std::string tail = "/" + std::string(mapsName) + folders;
    if (!endsWith(tail)) {
        // In a source's store: "<maps>/sources/<store>" above the sheet folders.
        if (!endsWith(folders)) return 0;
        std::string above = dir.substr(0, dir.size() - strlen(folders));
        size_t store = above.rfind('/');
        std::string sources = "/" + std::string(mapsName) + "/sources";
        if (store == std::string::npos || store + 1 == above.size() || store < sources.size() ||
            above.compare(store - sources.size(), sources.size(), sources) != 0)
            return 0;
        tail = above.substr(store - sources.size()) + folders;
    }
    size_t rootLength = dir.size() - tail.size();   // of the prefixed folder
    std::string root = rootLength > 0 ? dir.substr(1, rootLength - 1) : std::string();
    if (root.empty() && path[0] == '/') root = "/";   // a maps folder at the top of the file system
    if (root.size() >= size) return 0;
    snprintf(out, size, "%s", root.c_str());
    return 1;
}

namespace {

// The working folder moved to another collection, whose maps folder may keep
// another source's sheets at its top: the store is picked afresh there, and
// the fetches, decoded sheets and store lookups of the folder left go.
void useMapsFolderHere(AppSettings* s) {
    int fetching = sheet_fetching_active();
    sheet_fetching_stop();
    char root[sizeof s->mapsRoot];
    snprintf(root, sizeof root, "%s", sheet_source_maps_root(s));
    memcpy(s->mapsRoot, root, sizeof root);
    memcpy(s->mapsDir, root, sizeof root);
    s->mapsDirAerial[0] = 0;
    if (Result selected = sheet_source_select_store(s); !selected) platform_warn(selected.why.c_str());
    view_pane_forget_store();
    if (fetching) sheet_fetching_install(s);
}

}  // namespace

void command_open_map(AppSettings* s) {
    char path[SHEET_PATH_MAX] = "";
    if (!platform_open_file_dialog(OPEN_MAP_FILTERS, OPEN_MAP_FOLDER, OPEN_MAP_DEFAULT_EXT, &openMapFilter, path,
                                   sizeof path) ||
        !path[0])
        return;
    platform_busy_cursor(1);
    // The user's own file: a failed decode is reported but never deletes it.
    int format = s->satelliteImage ? SHEET_JPEG : SHEET_GIF;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    if (!sheet_image_decode_file(path, format, &pixels, &w, &h)) {
        platform_warn(format == SHEET_JPEG ? "Error in loading the JPG image" : "Error in loading the GIF image");
        platform_busy_cursor(0);
        return;
    }
    free(map_view.pixels);
    map_view.pixels = pixels;
    map_view.imageWidth = w;
    map_view.imageHeight = h;
    snprintf(map_view.sheetPath, sizeof map_view.sheetPath, "%s", path);
    rebuildBitmap();
    pane_placeholder_clear();
    setChecked(&s->autoPan, MENU_AUTO_PAN, 0);
    view_pane_clear_centre();          // the view centres on the opened sheet

    // A file named as a sheet also gives the position, level and size; any
    // other picture is shown where the map stood.
    int big, level;
    double lat, lon;
    if (open_map_parse_name(path, &big, &level, &lat, &lon)) {
        map_view.zoomLevel = level;
        map_view.sheetLat = lat;
        map_view.sheetLon = lon;
        map_view.focusLat = lat;
        map_view.focusLon = lon;
        int sizeChanged = big >= 0 && big != s->bigMaps;
        if (big >= 0) setChecked(&s->bigMaps, MENU_BIG_MAPS, big);
        // Another collection's sheet: its folder becomes the working folder,
        // so its settings files and its maps folder are the ones in use.
        // A folder that cannot be entered leaves the working folder as it was.
        char root[SHEET_PATH_MAX], before[SHEET_PATH_MAX], after[SHEET_PATH_MAX];
        if (open_map_tree_root(path, lat, lon, sheet_source_maps_root(s), root, sizeof root) && root[0] &&
            getcwd(before, sizeof before) && chdir(root) == 0 && getcwd(after, sizeof after) &&
            strcmp(before, after) != 0)
            useMapsFolderHere(s);
        // The next start opens at the size now in use.
        if (sizeChanged) settings_write_com(s);
    }
    // The extents are the opened file's own; a picture without them gets no
    // marker and no plot rather than the previous sheet's geometry.
    holdExtentsOf(path, format);
    platform_invalidate(1);
    platform_busy_cursor(0);
}

void command_reload_map(AppSettings* s) {
    char path[SHEET_PATH_MAX];
    int aerial = s->satelliteImage;
    platform_busy_cursor(1);
    // In the background when the window's downloads run there: shown or
    // reported when done.
    if (sheet_fetching_reload(s, map_view.sheetLat, map_view.sheetLon, map_view.zoomLevel)) {
        platform_busy_cursor(0);
        return;
    }
    // The stored sheet stays until a new one has arrived whole.
    if (Result reloaded = sheet_reload_fetch(aerial, map_view.sheetLat, map_view.sheetLon, map_view.zoomLevel, s, path,
                                      s->bigMaps, s->rose, s->grid);
        !reloaded) {
        sheet_fetching_say_reload_failed(reloaded.why.c_str());
    } else if (!loadReady(path)) {
        platform_busy_cursor(0);
        return;
    }
    forgetExtents();
    rebuildBitmap();
    platform_invalidate(1);
    platform_busy_cursor(0);
}

void command_big_maps(AppSettings* s) {
    platform_busy_cursor(1);
    setChecked(&s->bigMaps, MENU_BIG_MAPS, !s->bigMaps);
    int level = map_view.zoomLevel;
    double lat = zoom_level_snap_latitude(map_view.sheetLat, level, 0), lon = zoom_level_snap_longitude(map_view.sheetLon, level, s->bigMaps);
    const char* why;
    world_grid_snap(map_view.sheetLat, map_view.sheetLon, level, s->bigMaps, &lat, &lon, &why);   // the other grid's sheet there
    char path[SHEET_PATH_MAX];
    int loaded = 1;
    if (s->satelliteImage) {
        if (Result got = fetchSheet(s, 1, lat, lon, level, path))
            loaded = loadReady(path);
        else if (!sheet_fetching_await(SHOW_AERIAL))
            noAerialSheet(s, got.why);
    } else if (fetchSheet(s, 0, lat, lon, level, path)) {
        loaded = loadReady(path);
    } else {
        sheet_fetching_await(SHOW_MOVE);
    }
    if (loaded) showAsDisplayed(lat, lon, level, 0);
    // The size is the user's choice whatever became of the sheet.
    settings_write_com(s);
    platform_busy_cursor(0);
}

void command_satellite_image(AppSettings* s) {
    platform_busy_cursor(1);
    setChecked(&s->satelliteImage, MENU_SATELLITE_IMAGE, !s->satelliteImage);
    double lat = map_view.sheetLat, lon = map_view.sheetLon;
    int level = map_view.zoomLevel;
    char path[SHEET_PATH_MAX];
    int ready;
    if (s->online) {
        Result got = fetchSheet(s, s->satelliteImage, lat, lon, level, path);
        ready = got.ok;
        if (!ready && !sheet_fetching_await(s->satelliteImage ? SHOW_AERIAL : SHOW_MOVE) && s->satelliteImage)
            noAerialSheet(s, got.why);
    } else {
        ready = find_sheet_of(s->satelliteImage ? SHEET_JPEG : SHEET_GIF, &lat, &lon, &level, sheet_source_store_dir(s, s->satelliteImage), path,
                              s->bigMaps, 1);
    }
    if (ready && !loadReady(path)) {
        platform_busy_cursor(0);
        return;
    }
    if (!ready) {
        // The old picture stays, and so does its place: a search that
        // walked to coarser levels in vain does not move it.
        lat = map_view.sheetLat;
        lon = map_view.sheetLon;
        level = map_view.zoomLevel;
    }
    showAsDisplayed(lat, lon, level, 1);
    platform_busy_cursor(0);
}
