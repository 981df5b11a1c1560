#include "app/navigation.h"

#include "app/app_state.h"
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

MapView& v = map_view;

// A sheet is ready at sheetPath: show it as the displayed sheet.
void bringOnScreen(int setCursor) {
    if (!nav_load_picture()) return;
    view_pane_clear_centre();
    if (setCursor) {
        v.cursorLat = v.targetLat;
        v.cursorLon = v.targetLon;
    }
    v.sheetLat = v.targetLat;
    v.sheetLon = v.targetLon;
    v.zoomLevel = v.targetZoom;
    v.scaleMpp = 0;                    // the level's own scale
    platform_invalidate(1);
}

// The exact sheet of the targets: downloaded when online (local file
// first), looked up without walking when offline. 1 when ready.
int fetchExact(const AppSettings* s) {
    if (s->online) {
        if (s->satelliteImage)
            return sheet_download_hooks.downloadAerialSheet &&
                   sheet_download_hooks.downloadAerialSheet(v.targetLat, v.targetLon, v.targetZoom, s, v.sheetPath,
                                                            s->bigMaps) == 0;
        return sheet_download_hooks.downloadSheet &&
               sheet_download_hooks.downloadSheet(v.targetLat, v.targetLon, v.targetZoom, s, v.sheetPath, s->bigMaps,
                                                  s->rose, s->grid) == 0;
    }
    double lat = v.targetLat, lon = v.targetLon;
    int level = v.targetZoom;
    return find_sheet_of(s->satelliteImage ? SHEET_JPEG : SHEET_GIF, &lat, &lon, &level, sheetStoreDir(s, s->satelliteImage),
                         v.sheetPath, s->bigMaps, 0);
}

// The targets become the grid point of the sheet shown at (lat, lon) at the
// target level: the Canadian grid's own snapping there (halfLat and
// doubleLon as snapLatitude and snapLongitude take them), the Web Mercator
// grid elsewhere. 0 (targets untouched) where no sheet can be drawn, with
// the reason in *why.
int snapTargets(const AppSettings* s, double lat, double lon, int halfLat, int doubleLon, const char** why) {
    double sLat, sLon;
    int plane = worldGridSnap(lat, lon, v.targetZoom, s->bigMaps ? 1 : 0, &sLat, &sLon, why);
    if (plane == SHEET_PLANE_NONE) return 0;
    if (plane == SHEET_PLANE_LAMBERT) {
        sLat = snapLatitude(lat, v.targetZoom, halfLat);
        sLon = snapLongitude(lon, v.targetZoom, doubleLon);
    }
    v.targetLat = sLat;
    v.targetLon = sLon;
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

int jump(const AppSettings* s) {
    return getSheetForJump(s->online, s->satelliteImage, &v.targetLat, &v.targetLon, &v.targetZoom, s, v.sheetPath,
                           s->bigMaps, s->rose, s->grid);
}

bool readExtents(const AppSettings* s) {
    auto read = s->satelliteImage ? readSheetExtentsJpeg : readSheetExtents;
    return read(v.sheetLat, v.sheetLon, v.zoomLevel, sheetStoreDir(s, s->satelliteImage), s->bigMaps, &v.extCentreX, &v.extCentreY,
                &v.extMinX, &v.extMinY, &v.extMaxX, &v.extMaxY);
}

// Client point in the pane to degrees through the held extents.
int paneToDegrees(int x, int y, double* lat, double* lon) {
    if (v.extRotation != 0) return pane_place_to_degrees(x, y, lat, lon);   // a course-up picture
    if (!(v.extMaxX > v.extMinX) || !(v.extMaxY > v.extMinY)) return 0;
    double X = v.extMinX + (x - APP_PANE_X) / static_cast<double>(v.paneWidth) * (v.extMaxX - v.extMinX);
    double Y = v.extMinY + (v.paneHeight + APP_PANE_Y - y) / static_cast<double>(v.paneHeight) * (v.extMaxY - v.extMinY);
    return view_plane_to_degrees(v.extPlane, X, Y, lat, lon);
}

}  // namespace

int nav_in_pane(int x, int y) {
    return y >= APP_PANE_Y && y < APP_PANE_Y + v.paneHeight && x >= APP_PANE_X && x < APP_PANE_X + v.paneWidth;
}

int nav_load_picture() {
    const AppSettings* s = app_window.settings;
    // While the view composes the pane, the sheet only has to decode once,
    // into the view's cache; the pane's picture stays to be composed over.
    if (view_pane_take_sheet(s, v.sheetPath)) {
        pane_placeholder_clear();
        return 1;
    }
    int w = v.imageWidth, h = v.imageHeight;
    if (Result loaded = loadSheetImage(v.sheetPath, s->satelliteImage, &v.pixels, &w, &h); !loaded) {
        if (!loaded.why.empty()) platform_warn(loaded.why.c_str());
        return 0;
    }
    view_pane_forget(v.sheetPath);     // loaded afresh: the file may have changed
    v.imageWidth = w;
    v.imageHeight = h;
    buildDisplayBitmap(&v.dibHeader, &v.dibBits, v.pixels, w, h);
    pane_placeholder_clear();
    return 1;
}

void nav_ensure_extents() {
    if (v.sheetLat == v.extForLat && v.sheetLon == v.extForLon && v.zoomLevel == v.extForZoom) return;
    // A sheet without a record places nothing: the previous sheet's extents
    // would put the marker in the wrong place.
    if (!readExtents(app_window.settings)) v.extMinX = v.extMinY = v.extMaxX = v.extMaxY = 0;
    v.extRotation = 0;
    v.extPlane = view_plane_of_sheet(v.sheetLat, v.sheetLon, v.zoomLevel, app_window.settings->bigMaps ? 1 : 0);
    v.extForLat = v.sheetLat;
    v.extForLon = v.sheetLon;
    v.extForZoom = v.zoomLevel;
}

void nav_zoom_in(int x, int y) {
    AppSettings* s = app_window.settings;
    if (!s) return;
    v.targetZoom = v.zoomLevel < ZOOM_FINEST ? v.zoomLevel + 1 : v.zoomLevel;
    platform_busy_cursor(1);
    // The held extents are the shown picture's: the composed view's rectangle.
    nav_ensure_extents();
    double lat, lon;
    if (paneToDegrees(x, y, &lat, &lon)) {
        v.focusLat = lat;
        v.focusLon = lon;
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
    v.targetZoom = v.zoomLevel > 0 ? v.zoomLevel - 1 : v.zoomLevel;
    const char* why;
    if (!snapTargets(s, v.sheetLat, v.sheetLon, &why)) return;
    platform_busy_cursor(1);
    if (fetchExact(s)) bringOnScreen(0);
    else sheet_fetching_await(SHOW_MOVE);
    platform_busy_cursor(0);
}

void nav_level(int level) {
    AppSettings* s = app_window.settings;
    if (!s || level < 0 || level > ZOOM_FINEST) return;
    v.targetZoom = level;
    double lat, lon;
    if (s->autoPan && gps_has_position()) {
        lat = gps_latitude();
        lon = gps_longitude();
    } else if (v.zoomLevel < level) {
        lat = v.focusLat;
        lon = v.focusLon;
    } else {
        lat = v.sheetLat;
        lon = v.sheetLon;
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
            v.cursorLat = lat;
            v.cursorLon = lon;
        }
    } else {
        v.cursorLat = v.sheetLat;
        v.cursorLon = v.sheetLon;
    }
    platform_invalidate(0);
}

void nav_big_maps_swap() {
    AppSettings* s = app_window.settings;
    if (!s) return;
    v.targetLat = v.sheetLat;
    v.targetLon = v.sheetLon;
    v.targetZoom = v.zoomLevel;
    if (s->bigMaps == v.appliedBigMaps) return;
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
    v.targetZoom = v.zoomLevel;
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
        if (v.scaleMpp != autoMpp) {
            view_pane_start_zoom();
            platform_invalidate(0);
        }
        v.scaleMpp = autoMpp;
        v.targetZoom = level;
        if (!snapTargets(s, fixLat, fixLon, &why)) v.targetZoom = v.zoomLevel;   // targets as snapped above
    }
    // Back on a grid after none, the sheet is looked for even where it was.
    if (v.targetZoom == v.zoomLevel && v.targetLat == v.sheetLat && v.targetLon == v.sheetLon &&
        !pane_notice_no_grid_shown())
        return;
    platform_busy_cursor(1);
    // The displayed sheet changes only with its picture: a sheet that fails
    // to load leaves the old one (and its fields) in place. The level is the
    // user's (or Auto Zoom's): a coarser sheet found in place of a missing
    // one is not taken, the view shows what is stored at this level.
    int wanted = v.targetZoom;
    int ready = jump(s);
    if (ready && v.targetZoom == wanted && nav_load_picture()) {
        v.sheetLat = v.targetLat;
        v.sheetLon = v.targetLon;
        v.zoomLevel = v.targetZoom;
        platform_invalidate(1);
    } else if (!ready && pane_placeholder_shown()) {
        // No sheet on screen at all: the neutral picture follows the
        // vehicle, so its marker shows and the pane names where it is, at
        // the level shown (the look offline may have walked coarser).
        v.targetZoom = wanted;
        if (snapTargets(s, fixLat, fixLon, &why)) {
            v.sheetLat = v.targetLat;
            v.sheetLon = v.targetLon;
            v.zoomLevel = v.targetZoom;
            pane_placeholder_show();
            if (sheet_fetching_await(SHOW_JUMP)) pane_notice_fetching(s);
            else pane_notice_no_sheet(s, s->online ? sheetDownloadFailure() : "");
            platform_invalidate(1);
        }
    }
    platform_busy_cursor(0);
}
