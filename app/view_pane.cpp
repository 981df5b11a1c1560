#include "app/view_pane.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "app/pane_notice.h"
#include "maps/map_view.h"
#include "maps/sheet_cache.h"
#include "maps/sheet_fetch_queue.h"
#include "maps/sheet_image.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "maps/view_compose.h"
#include "maps/view_plane.h"
#include "maps/view_follow.h"
#include "maps/view_sheets.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "app/sheet_fetching.h"
#include "app/view_zoom.h"
#include "maps/view_compose_scaled.h"
#include "maps/view_scale.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

namespace {

constexpr uint32_t kLoadingGrey = 0x606060;
constexpr int kLoadingHeight = 14;

MapView& v = map_view;
SheetCache cache;
ViewRecord shown{};
bool composed = false;
const unsigned char* composedPixels = nullptr;   // the picture last composed
int shownAerial = -1;
std::string shownKey;                  // the stored sheets the picture was made of
std::vector<ViewSheet> loading;        // queued sheets in the shown view
std::vector<ViewSheet> failing;        // sheets of the shown view whose fetch failed (backing off)
std::vector<ViewSheet> lastMissing;    // the shown view's sheets with no picture, nearest first
// Stored sheets that did not decode and were asked afresh: each once, so
// a server that sends it broken again is not asked at every frame.
std::set<std::string> renewedBroken;
struct Followed {
    bool valid;
    double x, y;
    int plane;                         // the plane x, y are in
} followed{};                          // the vehicle's last placeable position
// Set while Auto Pan is off and the view was moved off the displayed
// sheet's centre, or left where following put it.
Followed freeCentre{};
bool lastFollowing = false;            // the last centre taken was the vehicle's
// The store as last looked at, kept for a second: long enough that frames
// do not each read the store, short enough that sheets written by another
// program (kivsheet) show soon. Emptied at once when a sheet arrives.
struct StoreLook {
    ViewStoreMemo memo;
    std::string mapsDir;
    int aerial;
    std::chrono::steady_clock::time_point since;
} storeLook{};
constexpr std::chrono::milliseconds kStoreLookKept{1000};

ViewStoreMemo* storeMemo(const AppSettings* s) {
    auto now = std::chrono::steady_clock::now();
    if (storeLook.mapsDir != sheetStoreDir(s, s->satelliteImage) || storeLook.aerial != s->satelliteImage ||
        now - storeLook.since > kStoreLookKept) {
        storeLook.memo.cells.clear();
        storeLook.mapsDir = sheetStoreDir(s, s->satelliteImage);
        storeLook.aerial = s->satelliteImage;
        storeLook.since = now;
    }
    return &storeLook.memo;
}

// A zoom under way (view_zoom.h): from the view shown when it began, with
// that view's picture; startMs < 0 when none.
struct ZoomMotion {
    int64_t startMs = -1;
    ViewRecord from{};
    std::vector<uint32_t> picture;
} zoomMotion;
// The scaled view's 32-bit picture before it becomes the pane's.
std::vector<uint32_t> scaledPicture;

// until the pane composes into the frame
void rgbOfXrgb(const uint32_t* xrgb, size_t n, unsigned char* rgb) {
    for (size_t i = 0; i < n; i++, rgb += 3) {
        rgb[0] = static_cast<unsigned char>(xrgb[i] >> 16);
        rgb[1] = static_cast<unsigned char>(xrgb[i] >> 8);
        rgb[2] = static_cast<unsigned char>(xrgb[i]);
    }
}

struct Follow {
    FollowState state;
    unsigned fixCount;                 // the fix the state was stepped with
    double at;                         // when, steady seconds
} follow{};

// A sheet of the store in use; any other picture (opened from elsewhere)
// is shown as it is, not composed into the view.
bool inStore(const AppSettings* s, const char* path) {
    const char* store = sheetStoreDir(s, s->satelliteImage);
    size_t dirLength = strlen(store);
    return dirLength && strncmp(path, store, dirLength) == 0;
}

bool sameView(const ViewRecord& a, const ViewRecord& b) {
    return a.plane == b.plane && a.level == b.level && a.big == b.big && a.cx == b.cx && a.cy == b.cy &&
           a.mpp == b.mpp && a.width == b.width && a.height == b.height;
}

// The missing sheets go to the queue as one list in the order given (the
// view's earlier list goes); the ones queued or already on their way are
// "loading".
void request(const AppSettings* s, const ViewRecord& view, const std::vector<ViewSheet>& missing) {
    loading.clear();
    failing.clear();
    if (!s->online || !sheet_fetching_active()) return;
    std::vector<SheetFetchRequest> list;
    std::vector<const ViewSheet*> asked;
    for (const ViewSheet& m : missing) {
        // Stored yet missing: the file does not decode. Fetched afresh
        // (the queue would find it stored), once.
        bool broken = m.format >= 0;
        SheetFetchRequest r{m.lat, m.lon, view.level, s->satelliteImage, view.big, s->rose, s->grid, broken ? 1 : 0};
        if (broken && renewedBroken.count(m.path) && !sheet_fetch_pending(&r)) continue;
        list.push_back(r);
        asked.push_back(&m);
    }
    std::vector<int> results(list.size());
    sheet_fetch_view(list.data(), static_cast<int>(list.size()), results.data());
    for (size_t i = 0; i < list.size(); i++) {
        if (results[i] == SHEET_FETCH_BACKING_OFF) failing.push_back(*asked[i]);
        if (results[i] != SHEET_FETCH_QUEUED && results[i] != SHEET_FETCH_ALREADY) continue;
        loading.push_back(*asked[i]);
        if (list[i].reload) renewedBroken.insert(asked[i]->path);
    }
}

// Where the missing sheets are fetched from first: the vehicle while the
// view follows it (it may look ahead of it), else the view's centre.
void fetchAnchor(const AppSettings* s, const ViewRecord& view, double* x, double* y) {
    *x = view.cx;
    *y = view.cy;
    double vx, vy;
    if (s->autoPan && gps_has_position() &&
        view_plane_from_degrees(view.plane, gps_latitude(), gps_longitude(), &vx, &vy)) {
        *x = vx;
        *y = vy;
    }
}

// A centre kept from before in the plane of the view now: through degrees
// where the two planes meet. 0 when it cannot be placed there.
int inPlane(const Followed& f, int plane, double* x, double* y) {
    double lat, lon;
    if (f.plane == plane) {
        *x = f.x;
        *y = f.y;
        return 1;
    }
    return view_plane_to_degrees(f.plane, f.x, f.y, &lat, &lon) && view_plane_from_degrees(plane, lat, lon, x, y);
}

// The plane of the view around a plane point kept in another (or the same)
// plane: the plane of the sheet under it at the displayed level.
int planeAround(int plane, double x, double y, int big) {
    double lat, lon;
    if (!view_plane_to_degrees(plane, x, y, &lat, &lon)) return VIEW_PLANE_NONE;
    return view_plane_at(lat, lon, v.zoomLevel, big, v.paneWidth, v.paneHeight);
}

// Where following puts the centre for the vehicle at (x, y): on it, or
// ahead of it (Look Ahead), eased from fix to fix.
void followStep(const AppSettings* s, int plane, double lat, double lon, double* x, double* y) {
    int big = s->bigMaps ? 1 : 0;
    double mpp = view_pane_mpp(s);
    ViewRecord here{plane, v.zoomLevel, big, *x, *y, mpp, v.paneWidth, v.paneHeight};
    double ux = 0, uy = 0, speed = gps_speed();
    if (!view_follow_course_direction(here, lat, lon, gps_course(), &ux, &uy)) ux = uy = 0;
    // The easing counts time between fixes; a repaint without a new one
    // changes nothing.
    double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    unsigned count = gps_position_count();
    double dt = 0;
    if (count != follow.fixCount) {
        dt = follow.fixCount ? now - follow.at : 0;
        follow.fixCount = count;
        follow.at = now;
    }
    view_follow_step(&follow.state, app_window.lookAhead ? FOLLOW_LOOK_AHEAD : FOLLOW_CENTRED, *x, *y, ux, uy,
                     std::isfinite(speed) ? speed : 0, v.paneWidth * mpp, v.paneHeight * mpp, dt, x, y);
}

// The pane's extents are the view's rectangle: everything placed through
// them (marker, trail, clicks) lands where the view draws it.
void placeExtents(const ViewRecord& view) {
    view_screen_to_plane(view, 0, view.height, &v.extMinX, &v.extMinY);
    view_screen_to_plane(view, view.width, 0, &v.extMaxX, &v.extMaxY);
    v.extCentreX = view.cx;
    v.extCentreY = view.cy;
    v.extPlane = view.plane;
    // The view's rectangle stands for the displayed sheet's record.
    v.extForLat = v.sheetLat;
    v.extForLon = v.sheetLon;
    v.extForZoom = v.zoomLevel;
}

// While a zoom moves: the picture it started from drawn for the view of
// this moment on the way to target, as the view shown. False once it is
// over (or cannot be drawn), for the target to be composed.
bool zoomFrame(const ViewRecord& target) {
    if (zoomMotion.startMs < 0) return false;
    int64_t now = platform_monotonic_ms();
    double t = now < 0 ? 1 : view_zoom_fraction(zoomMotion.startMs, now);
    ViewRecord at;
    if (t >= 1 || !composed || v.pixels != composedPixels || v.imageWidth != target.width ||
        v.imageHeight != target.height || !view_zoom_between(zoomMotion.from, target, t, &at)) {
        zoomMotion.startMs = -1;
        zoomMotion.picture.clear();
        return false;
    }
    scaledPicture.resize(static_cast<size_t>(at.width) * at.height);
    view_zoom_picture(zoomMotion.picture.data(), zoomMotion.from, scaledPicture.data(), at.width, at,
                      VIEW_HATCH_GROUND * 0x010101u);
    rgbOfXrgb(scaledPicture.data(), scaledPicture.size(), v.pixels);
    buildDisplayBitmap(&v.dibHeader, &v.dibBits, v.pixels, at.width, at.height);
    placeExtents(at);
    shown = at;
    shownKey.clear();                  // the sheets are composed once it is over
    return true;
}

}  // namespace

double view_pane_mpp(const AppSettings* s) {
    int big = s->bigMaps ? 1 : 0;
    double mpp = view_scale_clamp(v.scaleMpp, big);
    // A scale of another level (a level button, a sheet brought up by
    // itself) is that level's own.
    return v.scaleMpp > 0 && view_scale_level(mpp, big) == v.zoomLevel ? mpp : view_level_mpp(v.zoomLevel, big);
}

void view_pane_start_zoom() {
    int64_t now = platform_monotonic_ms();
    if (now < 0 || !view_pane_composing() || v.imageWidth != shown.width || v.imageHeight != shown.height) return;
    // until the pane composes into the frame
    size_t n = static_cast<size_t>(shown.width) * shown.height;
    zoomMotion.picture.resize(n);
    const unsigned char* p = v.pixels;
    for (size_t i = 0; i < n; i++, p += 3)
        zoomMotion.picture[i] = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
    zoomMotion.from = shown;
    zoomMotion.startMs = now;
    platform_set_timer(VIEW_ZOOM_FRAME_MS);
}

int view_pane_zooming() { return zoomMotion.startMs >= 0; }

int view_pane_centre(const AppSettings* s, int* plane, double* x, double* y) {
    int big = s->bigMaps ? 1 : 0;
    if (s->autoPan && gps_has_position()) {
        double lat = gps_latitude(), lon = gps_longitude();
        *plane = view_plane_at(lat, lon, v.zoomLevel, big, v.paneWidth, v.paneHeight);
        if (!view_plane_from_degrees(*plane, lat, lon, x, y)) return 0;
        followStep(s, *plane, lat, lon, x, y);
        // Looking ahead moves the pane off the vehicle, maybe past the
        // Canadian grid's sheets: the pane where it ends up chooses.
        if (planeAround(*plane, *x, *y, big) == VIEW_PLANE_WEB_MERCATOR && *plane != VIEW_PLANE_WEB_MERCATOR) {
            *plane = VIEW_PLANE_WEB_MERCATOR;
            if (!view_plane_from_degrees(*plane, lat, lon, x, y)) return 0;
            followStep(s, *plane, lat, lon, x, y);
        }
        // A quarter pixel off, so the vehicle (and what lies level with it)
        // is inside a pixel rather than on its corner, where rounding up or
        // down would make it jitter.
        double quarter = view_pane_mpp(s) / 4;
        *x -= quarter;
        *y += quarter;
        followed = {true, *x, *y, *plane};
        freeCentre = Followed{};
        lastFollowing = true;
        return 1;
    }
    // A lost fix keeps the view where the vehicle was (the stale marker).
    if (s->autoPan && followed.valid) {
        freeCentre = Followed{};
        lastFollowing = true;
        *plane = planeAround(followed.plane, followed.x, followed.y, big);
        return inPlane(followed, *plane, x, y);
    }
    // Auto Pan turned off: the view stays where following left it.
    if (lastFollowing && followed.valid && !freeCentre.valid) freeCentre = followed;
    lastFollowing = false;
    if (freeCentre.valid) {
        *plane = planeAround(freeCentre.plane, freeCentre.x, freeCentre.y, big);
        return inPlane(freeCentre, *plane, x, y);
    }
    SheetExtent e;
    if (!view_sheet_expected_extent(v.sheetLat, v.sheetLon, v.zoomLevel, big, &e)) return 0;
    *plane = e.epsg ? e.epsg : VIEW_PLANE_CANADA_LAMBERT;
    *x = e.centreX;
    *y = e.centreY;
    // A pane larger than the Canadian grid's sheets there stands in the other plane.
    int around = view_plane_at(v.sheetLat, v.sheetLon, v.zoomLevel, big, v.paneWidth, v.paneHeight);
    if (around == *plane) return 1;
    *plane = around;
    return view_plane_from_degrees(around, v.sheetLat, v.sheetLon, x, y);
}

int view_pane_update(const AppSettings* s) {
    if (!v.pixels || pane_placeholder_shown() || v.paneWidth <= 0 || v.paneHeight <= 0) return 0;
    if (!inStore(s, v.sheetPath)) return 0;
    int big = s->bigMaps ? 1 : 0;
    ViewRecord view{VIEW_PLANE_NONE, v.zoomLevel, big, 0, 0, view_pane_mpp(s), v.paneWidth, v.paneHeight};
    if (!view_pane_centre(s, &view.plane, &view.cx, &view.cy)) return 0;
    std::vector<ViewSheet> needed;
    if (view_needed_sheets(view, sheetStoreDir(s, s->satelliteImage), s->satelliteImage, &needed, storeMemo(s)) < 0) return 0;
    // The displayed sheet may lie off the grid (a half-step pan): it is
    // drawn all the same, and in the middle.
    bool displayed = false;
    for (const ViewSheet& n : needed) displayed = displayed || strcmp(n.path, v.sheetPath) == 0;
    ViewSheet own{v.sheetLat, v.sheetLon, -1, "", {}};
    if (!displayed && view_sheet_expected_extent(v.sheetLat, v.sheetLon, v.zoomLevel, big, &own.extent) &&
        (own.extent.epsg ? own.extent.epsg : VIEW_PLANE_CANADA_LAMBERT) == view.plane) {
        own.format = sheetStored(own.path, sheetStoreDir(s, s->satelliteImage), v.sheetLat, v.sheetLon, v.zoomLevel, big,
                                 s->satelliteImage ? SHEET_JPEG : SHEET_GIF);
        if (own.format >= 0 && strcmp(own.path, v.sheetPath) == 0) needed.insert(needed.begin(), own);
    }
    if (zoomFrame(view)) return 1;
    std::string key;
    for (const ViewSheet& n : needed)
        if (n.format >= 0) {
            key += n.path;
            key += '\n';
        }
    if (composed && v.pixels == composedPixels && sameView(view, shown) && key == shownKey &&
        shownAerial == s->satelliteImage) {
        // Asked again: a sheet whose back-off has passed is retried.
        request(s, shown, lastMissing);
        return 0;
    }
    ViewImages images;
    std::vector<ViewSheet> missing;
    view_gather(needed, &cache, &images, &missing);
    // The bound holds at least the sheets of the view, as cached, and a
    // quarter more, so a large pane (4K) never evicts what its next frame
    // draws again.
    size_t viewBytes = 0;
    for (const auto& image : images) viewBytes += sheet_cache_bytes(*image);
    cache.limitBytes = std::max(SHEET_CACHE_DEFAULT_BYTES, viewBytes * 5 / 4);
    // The last picture of the same size is composed over in place: a fresh
    // block each frame costs the first touch of its pages, and freeing it
    // may hand them back to the system, several milliseconds at 1080p.
    unsigned char* rgb = v.pixels;
    bool inPlace = composed && v.pixels == composedPixels && v.imageWidth == view.width && v.imageHeight == view.height;
    if (!inPlace) {
        rgb = static_cast<unsigned char*>(malloc(static_cast<size_t>(view.width) * view.height * 3));
        if (!rgb) return 0;
    }
    if (view.mpp == view_level_mpp(view.level, big)) {
        view_compose(view, images, rgb);
    } else {
        // Between the levels: the level's sheets box-filtered to the view's scale.
        scaledPicture.resize(static_cast<size_t>(view.width) * view.height);
        view_compose_scaled(view, images, scaledPicture.data(), view.width);
        rgbOfXrgb(scaledPicture.data(), scaledPicture.size(), rgb);
    }
    if (!inPlace) free(v.pixels);
    v.pixels = rgb;
    v.imageWidth = view.width;
    v.imageHeight = view.height;
    buildDisplayBitmap(&v.dibHeader, &v.dibBits, v.pixels, view.width, view.height);
    placeExtents(view);
    double ax, ay;
    fetchAnchor(s, view, &ax, &ay);
    view_sheets_by_distance(&missing, ax, ay);
    request(s, view, missing);
    lastMissing = missing;
    shown = view;
    shownKey = key;
    shownAerial = s->satelliteImage;
    composed = true;
    composedPixels = rgb;
    return 1;
}

void view_pane_move_to(const AppSettings* s, int plane, double x, double y, int level) {
    double lat, lon, sheetLat, sheetLon;
    int big = s->bigMaps ? 1 : 0;
    const char* why;
    // Beyond every grid the view stays where it is.
    if (!view_plane_to_degrees(plane, x, y, &lat, &lon) ||
        worldGridSnap(lat, lon, level, big, &sheetLat, &sheetLon, &why) == SHEET_PLANE_NONE)
        return;
    freeCentre = {true, x, y, plane};
    lastFollowing = false;
    v.zoomLevel = level;
    v.sheetLat = sheetLat;
    v.sheetLon = sheetLon;
    v.focusLat = lat;
    v.focusLon = lon;
    char path[SHEET_PATH_MAX];
    sheetStored(path, sheetStoreDir(s, s->satelliteImage), v.sheetLat, v.sheetLon, level, big, s->satelliteImage ? SHEET_JPEG : SHEET_GIF);
    if (path[0]) snprintf(v.sheetPath, sizeof v.sheetPath, "%s", path);
    platform_invalidate(0);
}

int view_pane_centre_now(const AppSettings* s, int* plane, double* x, double* y, double* mpp) {
    *mpp = view_pane_mpp(s);
    if (composed && shown.level == v.zoomLevel && shown.big == (s->bigMaps ? 1 : 0)) {
        // The view on screen, a zoom's frame included: what the pointer points at.
        *plane = shown.plane;
        *x = shown.cx;
        *y = shown.cy;
        *mpp = shown.mpp;
        return 1;
    }
    return view_pane_centre(s, plane, x, y);
}

void view_pane_clear_centre() {
    freeCentre = Followed{};
    lastFollowing = false;
}

void view_pane_draw_loading() {
    if (!composed || !v.pixels || v.imageWidth != shown.width || v.imageHeight != shown.height) return;
    auto label = [](const ViewSheet& m, const char* text) {
        double px, py;
        view_plane_to_screen(shown, m.extent.centreX, m.extent.centreY, &px, &py);
        if (px < 0 || py < 0 || px >= shown.width || py >= shown.height) return;
        // Only where the hatching shows: a neighbour may already cover it.
        const unsigned char* at = v.pixels + (static_cast<size_t>(py) * shown.width + static_cast<size_t>(px)) * 3;
        // Scaled, the hatching is a grey between its two tones.
        bool hatched = at[0] >= VIEW_HATCH_LINE && at[0] <= VIEW_HATCH_GROUND && at[1] == at[0] && at[2] == at[0];
        if (!hatched) return;
        platform_draw_text(APP_PANE_X + static_cast<int>(px) - 24,
                           APP_PANE_Y + static_cast<int>(py) - kLoadingHeight / 2, text, kLoadingHeight, 400,
                           kLoadingGrey);
    };
    for (const ViewSheet& m : loading) label(m, "loading");
    for (const ViewSheet& m : failing) label(m, "failed");
    const AppSettings* s = app_window.settings;
    if (!s || lastMissing.empty()) return;
    // Why the hatching stays: said once for the pane, not per sheet.
    char line[400] = "";
    const char* failure = sheet_fetching_failure();
    if (!s->online) snprintf(line, sizeof line, "offline: sheets not stored are not fetched");
    else if (!failing.empty() || (failure && !loading.empty()))
        pane_notice_server_trouble(s, failure ? failure : "", line, sizeof line);
    if (line[0]) platform_draw_text(APP_PANE_X + 8, APP_PANE_Y + 8, line, kLoadingHeight, 700, RGB_BLACK);
}

void view_pane_forget(const char* path) {
    sheet_cache_drop(&cache, path);
    storeLook.memo.cells.clear();
    shownKey.clear();                  // a file replaced in place leaves the key as it was
}

int view_pane_take_sheet(const AppSettings* s, const char* path) {
    if (!composed || v.pixels != composedPixels || !inStore(s, path)) return 0;
    view_pane_forget(path);
    std::string why;
    if (!sheet_cache_get(&cache, path, sheetImageFormatOfPath(path, s->satelliteImage), &why)) return 0;
    shownKey.clear();                  // composed again even where the view stays
    return 1;
}

void view_pane_forget_store() {
    cache = SheetCache{};
    storeLook = StoreLook{};
    renewedBroken.clear();
}

int view_pane_composing() { return composed && v.pixels == composedPixels; }

int view_pane_current(ViewRecord* out) {
    if (!composed) return 0;
    *out = shown;
    return 1;
}

void view_pane_reset() {
    cache = SheetCache{};
    storeLook = StoreLook{};
    shown = ViewRecord{};
    composed = false;
    composedPixels = nullptr;
    shownAerial = -1;
    shownKey.clear();
    loading.clear();
    failing.clear();
    lastMissing.clear();
    renewedBroken.clear();
    zoomMotion = ZoomMotion{};
    scaledPicture.clear();
    followed = Followed{};
    follow = Follow{};
    view_pane_clear_centre();
}

int view_pane_show_point(AppSettings* s, double lat, double lon) {
    int plane = view_plane_at(lat, lon, v.zoomLevel, s->bigMaps ? 1 : 0, v.paneWidth, v.paneHeight);
    double x, y;
    if (plane == VIEW_PLANE_NONE || !view_plane_from_degrees(plane, lat, lon, &x, &y)) return 0;
    if (s->autoPan) {
        s->autoPan = 0;
        platform_menu_check(MENU_AUTO_PAN, 0);
    }
    view_pane_move_to(s, plane, x, y, v.zoomLevel);
    platform_invalidate(0);
    return 1;
}
