#include "app/navigation.h"

#include "app/app_state.h"
#include "app/display_bitmap.h"
#include "app/pane_notice.h"
#include "app/pane_place.h"
#include "app/sheet_fetching.h"
#include "app/view_pane.h"
#include "app/view_zoom_auto.h"
#include "maps/map_view.h"
#include "maps/sheet_source.h"
#include "maps/view_plane.h"
#include "maps/view_scale.h"
#include "maps/world_grid.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_download.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/zoom_levels.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

namespace {

// A sheet is ready at sheetPath: show it as the displayed sheet.
void bringOnScreen(int setCursor) {
    if (!nav_load_picture()) return;
    view_pane_clear_centre();
    if (setCursor) {
        map_view.cursorLat = map_view.targetLat;
        map_view.cursorLon = map_view.targetLon;
    }
    map_view.sheetLat = map_view.targetLat;
    map_view.sheetLon = map_view.targetLon;
    map_view.zoomLevel = map_view.targetZoom;
    map_view.scaleMpp = 0;                    // the level's own scale
    platform_invalidate(1);
}

// The exact sheet of the targets: downloaded when online (local file
// first), looked up without walking when offline. 1 when ready.
int fetchExact(const AppSettings* s) {
    if (s->online) {
        const SheetDownloadHooks& h = sheet_download_hooks;
        if (s->satelliteImage)
            return h.aerialSheet && h.aerialSheet(map_view.targetLat, map_view.targetLon, map_view.targetZoom, s, map_view.sheetPath, s->bigMaps);
        return h.topoSheet &&
               h.topoSheet(map_view.targetLat, map_view.targetLon, map_view.targetZoom, s, map_view.sheetPath, s->bigMaps, s->rose, s->grid);
    }
    double lat = map_view.targetLat, lon = map_view.targetLon;
    int level = map_view.targetZoom;
    return find_sheet_of(s->satelliteImage ? SHEET_JPEG : SHEET_GIF, &lat, &lon, &level, sheet_source_store_dir(s, s->satelliteImage),
                         map_view.sheetPath, s->bigMaps, 0);
}

// The targets become the grid point of the sheet shown at (lat, lon) at the
// target level: the Canadian grid's own snapping there (halfLat and
// doubleLon as zoom_level_snap_latitude and zoom_level_snap_longitude take them), the Web Mercator
// grid elsewhere. 0 (targets untouched) where no sheet can be drawn, with
// the reason in *why.
int snapTargets(const AppSettings* s, double lat, double lon, int halfLat, int doubleLon, const char** why) {
    double sLat, sLon;
    int plane = world_grid_snap(lat, lon, map_view.targetZoom, s->bigMaps ? 1 : 0, &sLat, &sLon, why);
    if (plane == VIEW_PLANE_NONE) return 0;
    if (plane == VIEW_PLANE_CANADA_LAMBERT) {
        sLat = zoom_level_snap_latitude(lat, map_view.targetZoom, halfLat);
        sLon = zoom_level_snap_longitude(lon, map_view.targetZoom, doubleLon);
    }
    map_view.targetLat = sLat;
    map_view.targetLon = sLon;
    return 1;
}

int snapTargets(const AppSettings* s, double lat, double lon, const char** why) {
    return snapTargets(s, lat, lon, 0, s->bigMaps, why);
}

// Beyond every grid: the pane says so instead of showing another place.
void showNoGrid(const char* why) {
    if (pane_notice_no_grid_shown()) return;
    pane_notice_no_grid(why);
    view_pane_clear_centre();
    platform_invalidate(1);
}

Result jump(const AppSettings* s) {
    return sheet_dispatch_for_jump(s->online, s->satelliteImage, &map_view.targetLat, &map_view.targetLon, &map_view.targetZoom, s, map_view.sheetPath,
                           s->bigMaps, s->rose, s->grid);
}

bool readExtents(const AppSettings* s, MapExtents* e) {
    auto read = s->satelliteImage ? sheet_extent_read_stored_jpeg : sheet_extent_read_stored;
    return read(map_view.sheetLat, map_view.sheetLon, map_view.zoomLevel, sheet_source_store_dir(s, s->satelliteImage), s->bigMaps, &e->centreX,
                &e->centreY, &e->minX, &e->minY, &e->maxX, &e->maxY);
}

// Client point in the pane to degrees through the held extents.
int paneToDegrees(int x, int y, double* lat, double* lon) {
    if (map_view.extRotation != 0) return pane_place_to_degrees(x, y, lat, lon);   // a course-up picture
    if (!(map_view.extMaxX > map_view.extMinX) || !(map_view.extMaxY > map_view.extMinY)) return 0;
    double X = map_view.extMinX + (x - APP_PANE_X) / static_cast<double>(map_view.paneWidth) * (map_view.extMaxX - map_view.extMinX);
    double Y = map_view.extMinY + (map_view.paneHeight + APP_PANE_Y - y) / static_cast<double>(map_view.paneHeight) * (map_view.extMaxY - map_view.extMinY);
    return view_plane_to_degrees(map_view.extPlane, X, Y, lat, lon);
}

}  // namespace

int nav_in_pane(int x, int y) {
    return y >= APP_PANE_Y && y < APP_PANE_Y + map_view.paneHeight && x >= APP_PANE_X && x < APP_PANE_X + map_view.paneWidth;
}

int nav_load_picture() {
    const AppSettings* s = app_window.settings;
    // While the view composes the pane, the sheet only has to decode once,
    // into the view's cache; the pane's picture stays to be composed over.
    if (view_pane_take_sheet(s, map_view.sheetPath)) {
        pane_placeholder_clear();
        return 1;
    }
    int w = map_view.imageWidth, h = map_view.imageHeight;
    if (Result loaded = sheet_image_load(map_view.sheetPath, s->satelliteImage, &map_view.pixels, &w, &h); !loaded) {
        if (!loaded.why.empty()) platform_warn(loaded.why.c_str());
        return 0;
    }
    view_pane_forget(map_view.sheetPath);     // loaded afresh: the file may have changed
    map_view.imageWidth = w;
    map_view.imageHeight = h;
    display_bitmap_rebuild(map_view);
    pane_placeholder_clear();
    return 1;
}

void nav_ensure_extents() {
    if (map_view.sheetLat == map_view.extForLat && map_view.sheetLon == map_view.extForLon && map_view.zoomLevel == map_view.extForZoom) return;
    // A sheet without a record places nothing: the previous sheet's extents
    // would put the marker in the wrong place.
    MapExtents e{map_view.extCentreX, map_view.extCentreY, map_view.extMinX, map_view.extMinY, map_view.extMaxX, map_view.extMaxY, 0, 0};
    if (!readExtents(app_window.settings, &e)) e.minX = e.minY = e.maxX = e.maxY = 0;
    e.plane = view_plane_of_sheet(map_view.sheetLat, map_view.sheetLon, map_view.zoomLevel, app_window.settings->bigMaps ? 1 : 0);
    map_view_hold_extents(&map_view, e);
}

void nav_zoom_in(int x, int y) {
    AppSettings* s = app_window.settings;
    if (!s) return;
    map_view.targetZoom = map_view.zoomLevel < ZOOM_FINEST ? map_view.zoomLevel + 1 : map_view.zoomLevel;
    platform_busy_cursor(1);
    // The held extents are the shown picture's: the composed view's rectangle.
    nav_ensure_extents();
    double lat, lon;
    if (paneToDegrees(x, y, &lat, &lon)) {
        map_view.focusLat = lat;
        map_view.focusLon = lon;
        const char* why;
        if (!snapTargets(s, lat, lon, &why)) showNoGrid(why);
        else if (jump(s)) bringOnScreen(1);
        else sheet_fetching_await(SHOW_JUMP);
    }
    platform_busy_cursor(0);
}

void nav_zoom_out() {
    AppSettings* s = app_window.settings;
    if (!s) return;
    map_view.targetZoom = map_view.zoomLevel > 0 ? map_view.zoomLevel - 1 : map_view.zoomLevel;
    const char* why;
    if (!snapTargets(s, map_view.sheetLat, map_view.sheetLon, &why)) return;
    platform_busy_cursor(1);
    if (fetchExact(s)) bringOnScreen(0);
    else sheet_fetching_await(SHOW_MOVE);
    platform_busy_cursor(0);
}

void nav_level(int level) {
    AppSettings* s = app_window.settings;
    if (!s || level < 0 || level > ZOOM_FINEST) return;
    map_view.targetZoom = level;
    double lat, lon;
    if (s->autoPan && gps_has_position()) {
        lat = gps_latitude();
        lon = gps_longitude();
    } else if (map_view.zoomLevel < level) {
        lat = map_view.focusLat;
        lon = map_view.focusLon;
    } else {
        lat = map_view.sheetLat;
        lon = map_view.sheetLon;
    }
    const char* why;
    if (!snapTargets(s, lat, lon, &why)) {
        showNoGrid(why);
        return;
    }
    platform_busy_cursor(1);
    if (jump(s)) bringOnScreen(1);
    else sheet_fetching_await(SHOW_JUMP);
    platform_busy_cursor(0);
}

void nav_auto_pan_button() {
    AppSettings* s = app_window.settings;
    if (!s) return;
    s->autoPan = 1;
    platform_menu_check(MENU_AUTO_PAN, 1);
    platform_invalidate(0);
}

void nav_mouse_move(int x, int y) {
    AppSettings* s = app_window.settings;
    if (!s || !s->mapCoordinates) return;
    double lat, lon;
    if (nav_in_pane(x, y)) {
        nav_ensure_extents();
        if (paneToDegrees(x, y, &lat, &lon)) {
            map_view.cursorLat = lat;
            map_view.cursorLon = lon;
        }
    } else {
        map_view.cursorLat = map_view.sheetLat;
        map_view.cursorLon = map_view.sheetLon;
    }
    platform_invalidate(0);
}

void nav_big_maps_swap() {
    AppSettings* s = app_window.settings;
    if (!s) return;
    map_view.targetLat = map_view.sheetLat;
    map_view.targetLon = map_view.sheetLon;
    map_view.targetZoom = map_view.zoomLevel;
    if (s->bigMaps == map_view.appliedBigMaps) return;
    platform_busy_cursor(1);
    if (fetchExact(s)) {
        if (nav_load_picture()) platform_invalidate(1);
    } else {
        sheet_fetching_await(SHOW_MOVE);
    }
    platform_busy_cursor(0);
}

void nav_auto_pan_step() {
    // Sheets fetched in the background are shown before the step looks.
    sheet_fetching_poll();
    AppSettings* s = app_window.settings;
    if (!s || !s->autoPan || !gps_has_position()) return;
    double fixLat = gps_latitude(), fixLon = gps_longitude();
    map_view.targetZoom = map_view.zoomLevel;
    const char* why;
    if (!snapTargets(s, fixLat, fixLon, &why)) {
        showNoGrid(why);
        return;
    }
    // Auto Zoom by speed: its scale, and the level that draws it.
    double autoMpp = auto_zoom_now(s);
    if (autoMpp > 0) {
        int level = view_scale_level(autoMpp, s->bigMaps ? 1 : 0);
        // Animated as the user's zooms, the vehicle staying where it is drawn;
        // into another level's sheets too, which are composed once it ends.
        if (map_view.scaleMpp != autoMpp) {
            view_pane_start_zoom();
            platform_invalidate(0);
        }
        map_view.scaleMpp = autoMpp;
        map_view.targetZoom = level;
        if (!snapTargets(s, fixLat, fixLon, &why)) map_view.targetZoom = map_view.zoomLevel;   // targets as snapped above
    }
    // Back on a grid after none, the sheet is looked for even where it was.
    if (map_view.targetZoom == map_view.zoomLevel && map_view.targetLat == map_view.sheetLat && map_view.targetLon == map_view.sheetLon &&
        !pane_notice_no_grid_shown())
        return;
    platform_busy_cursor(1);
    // The displayed sheet changes only with its picture: a sheet that fails
    // to load leaves the old one (and its fields) in place. The level is the
    // user's (or Auto Zoom's): a coarser sheet found in place of a missing
    // one is not taken, the view shows what is stored at this level.
    int wanted = map_view.targetZoom;
    Result ready = jump(s);
    if (ready && map_view.targetZoom == wanted && nav_load_picture()) {
        map_view.sheetLat = map_view.targetLat;
        map_view.sheetLon = map_view.targetLon;
        map_view.zoomLevel = map_view.targetZoom;
        platform_invalidate(1);
    } else if (!ready && pane_placeholder_shown()) {
        // No sheet on screen at all: the neutral picture follows the
        // vehicle, so its marker shows and the pane names where it is, at
        // the level shown (the look offline may have walked coarser).
        map_view.targetZoom = wanted;
        if (snapTargets(s, fixLat, fixLon, &why)) {
            map_view.sheetLat = map_view.targetLat;
            map_view.sheetLon = map_view.targetLon;
            map_view.zoomLevel = map_view.targetZoom;
            pane_placeholder_show();
            if (sheet_fetching_await(SHOW_JUMP)) pane_notice_fetching(s);
            else pane_notice_no_sheet(s, ready.why.c_str());
            platform_invalidate(1);
        }
    }
    platform_busy_cursor(0);
}
