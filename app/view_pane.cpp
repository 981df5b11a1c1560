#include "app/view_pane.h"

#include <malloc.h>

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
#include "app/night_palette.h"
#include "app/pane_notice.h"
#include "maps/map_view.h"
#include "maps/sheet_cache.h"
#include "maps/sheet_decoding.h"
#include "maps/sheet_fetch_queue.h"
#include "maps/sheet_image.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "maps/view_compose.h"
#include "maps/view_compose_crew.h"
#include "maps/view_plane.h"
#include "maps/view_follow.h"
#include "maps/view_rotate.h"
#include "maps/view_sheets.h"
#include "maps/view_turn.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "app/sheet_fetching.h"
#include "app/view_zoom.h"
#include "maps/scaled_sheets.h"
#include "maps/view_scale.h"
#include "platform/big_block.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

ViewPane view_pane;

namespace {

constexpr uint32_t kLoadingGrey = 0x606060;
constexpr int kLoadingHeight = 14;

ViewPane& pane = view_pane;
constexpr std::chrono::milliseconds kStoreLookKept{1000};

// The store is looked at again: what the last look saw goes.
void forgetStoreLook() {
    pane.storeLook.memo.cells.clear();
    pane.storeLook.neededKept = false;
    pane.storeLook.needed.clear();
}

// Each cell of the store is looked at again once in kStoreLookKept, a
// quarter of them at each quarter: no frame reads the store for every cell
// in view at once (milliseconds on the paint).
constexpr int kStoreLookSlices = 4;

int storeSlice(const std::tuple<double, double, int, int>& cell) {
    const size_t h = std::hash<double>{}(std::get<0>(cell)) * 31 + std::hash<double>{}(std::get<1>(cell));
    return static_cast<int>(h % kStoreLookSlices);
}

ViewStoreMemo* storeMemo(const AppSettings* s) {
    auto now = std::chrono::steady_clock::now();
    ViewPane::StoreLook& look = pane.storeLook;
    if (look.mapsDir != sheet_source_store_dir(s, s->satelliteImage) || look.aerial != s->satelliteImage) {
        forgetStoreLook();
        look.mapsDir = sheet_source_store_dir(s, s->satelliteImage);
        look.aerial = s->satelliteImage;
        look.since = now;
    } else if (now - look.since > kStoreLookKept / kStoreLookSlices) {
        look.slice = (look.slice + 1) % kStoreLookSlices;
        for (auto it = look.memo.cells.begin(); it != look.memo.cells.end();)
            it = storeSlice(it->first) == look.slice ? look.memo.cells.erase(it) : std::next(it);
        look.neededKept = false;
        look.needed.clear();
        look.since = now;
    }
    return &look.memo;
}



// A sheet of the store in use; any other picture (opened from elsewhere)
// is shown as it is, not composed into the view.
bool inStore(const AppSettings* s, const char* path) {
    const char* store = sheet_source_store_dir(s, s->satelliteImage);
    size_t dirLength = strlen(store);
    return dirLength && strncmp(path, store, dirLength) == 0;
}

bool sameView(const ViewRecord& a, const ViewRecord& b) {
    return a.plane == b.plane && a.level == b.level && a.big == b.big && a.cx == b.cx && a.cy == b.cy &&
           a.mpp == b.mpp && a.width == b.width && a.height == b.height && a.rotation == b.rotation;
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The turn of the view now: toward the course while course-up is on and the
// vehicle moves (held while it does not), back to north-up when it is off;
// while it eases another frame is asked for.
double turnNow(const ViewRecord& view) {
    ViewTurn& t = pane.turning.turn;
    if (!app_window.courseUp) t.target = 0;
    else if (gps_has_position()) {
        ViewRecord flat = view;
        flat.rotation = 0;
        double ux, uy, speed = gps_speed();
        int known = view_follow_course_direction(flat, gps_latitude(), gps_longitude(), gps_course(), &ux, &uy);
        view_turn_aim(&t, known ? std::atan2(ux, uy) : 0, known, std::isfinite(speed) ? speed : 0);
    }
    double now = steadySeconds(), dt = pane.turning.at > 0 ? now - pane.turning.at : 0;
    pane.turning.at = now;
    if (view_turn_step(&t, dt)) platform_invalidate(0);
    return t.angle;
}

// A turned view: the axis-aligned square under it composed aside (the part
// the turned pane reads, band by band), then turned into the pane, the
// square's rows shared with the crew's worker.
void composeTurned(const ViewRecord& view, uint32_t* at, int stride, const ColourCurve* curve) {
    ViewRecord cover = view;
    cover.width = cover.height = view_rotate_cover(view.width, view.height);
    cover.rotation = 0;
    const size_t pixels = static_cast<size_t>(cover.width) * cover.height;
    if (pane.turning.fromPixels != pixels) {
        pane.turning.from.reset(static_cast<uint32_t*>(big_block_alloc(pixels * sizeof(uint32_t))));
        pane.turning.fromPixels = pane.turning.from ? pixels : 0;
    }
    uint32_t* from = pane.turning.from.get();
    if (!from) return;
    // Between the levels, the sheets kept filtered to the view's scale
    // (filtered anew band by band where they cannot be kept).
    const ViewImages* images = &pane.images;
    bool atScale = cover.mpp == view_level_mpp(cover.level, cover.big);
    if (!atScale && scaled_sheets_images(&pane.scaled, cover, pane.images)) images = &pane.scaled.drawn, atScale = true;
    view_compose_crew_turned(pane.crew.get(), view, *images, atScale, from, at, stride, curve);
}

// The missing sheets go to the queue as one list in the order given (the
// view's earlier list goes); the ones queued or already on their way are
// "loading".
void request(const AppSettings* s, const ViewRecord& view, const std::vector<ViewSheet>& missing) {
    pane.loading.clear();
    pane.failing.clear();
    if (!s->online || !sheet_fetching_active()) return;
    std::vector<SheetFetchRequest> list;
    std::vector<const ViewSheet*> asked;
    for (const ViewSheet& m : missing) {
        // Stored yet missing: the file does not decode. Fetched afresh
        // (the queue would find it stored), once.
        bool broken = m.format >= 0;
        SheetFetchRequest r{m.lat, m.lon, view.level, s->satelliteImage, view.big, s->rose, s->grid, broken ? 1 : 0};
        if (broken && pane.renewedBroken.count(m.path) && !sheet_fetch_pending(&r)) continue;
        list.push_back(r);
        asked.push_back(&m);
    }
    std::vector<int> results(list.size());
    sheet_fetch_view(list.data(), static_cast<int>(list.size()), results.data());
    for (size_t i = 0; i < list.size(); i++) {
        if (results[i] == SHEET_FETCH_BACKING_OFF) pane.failing.push_back(*asked[i]);
        if (results[i] != SHEET_FETCH_QUEUED && results[i] != SHEET_FETCH_ALREADY) continue;
        pane.loading.push_back(*asked[i]);
        if (list[i].reload) pane.renewedBroken.insert(asked[i]->path);
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

void wakeForDecoded() { platform_invalidate(0); }

// What the worker decoded goes into the cache; the view is gathered anew
// when a sheet it waits for came (or turned out not to decode).
void takeDecoded() {
    std::vector<SheetDecoded> done;
    if (!sheet_decoding_take(pane.decoding.get(), &done)) return;
    for (SheetDecoded& d : done) {
        bool shown = std::any_of(pane.decodingShown.begin(), pane.decodingShown.end(),
                                 [&d](const ViewSheet& m) { return d.path == m.path; });
        if (shown) pane.shownKey.clear();
        if (d.sheet) {
            sheet_cache_put(&pane.cache, d.path.c_str(), std::move(d.sheet));
            pane.stamps[d.path] = d.stamp;
        } else {
            pane.undecodable.insert(d.path);
        }
    }
}

// The view's sheets from the cache into pane.images, in the order needed.
// Those not decoded yet go to the worker (decodingShown, "loading" until
// it hands them back), so no frame waits for a decode; but a view with
// none of its sheets decoded (the first, a jump, another level) has no
// picture to keep moving meanwhile and waits for them. A stored sheet
// whose file does not decode is missing, to be fetched afresh. True when
// it waited.
bool gather(const std::vector<ViewSheet>& needed, std::vector<ViewSheet>* missing) {
    pane.images.clear();
    pane.gathering++;
    pane.decodingShown.clear();
    missing->clear();
    std::vector<std::shared_ptr<const DecodedSheet>> found(needed.size());
    bool any = false;
    for (size_t i = 0; i < needed.size(); i++)
        if (needed[i].format >= 0 && !pane.undecodable.count(needed[i].path))
            any = (found[i] = sheet_cache_find(&pane.cache, needed[i].path)) || any;
    for (size_t i = 0; i < needed.size(); i++) {
        const ViewSheet& n = needed[i];
        std::string why;
        if (!found[i] && n.format >= 0 && !pane.undecodable.count(n.path)) {
            if (any) {
                pane.decodingShown.push_back(n);
                continue;
            }
            std::string stamp = sheet_decoding_stamp(n.path);
            found[i] = sheet_cache_get(&pane.cache, n.path, n.format, &why);
            if (found[i]) pane.stamps[n.path] = stamp;
            else pane.undecodable.insert(n.path);
        }
        if (found[i]) pane.images.push_back(std::move(found[i]));
        else missing->push_back(n);
    }
    return !any;
}

// The worker gets the view's sheets still to decode, nearest the anchor
// first, then those of the ring of sheets around the view, nearest where
// the vehicle heads (else the anchor), as many as the cache's bound leaves
// room for beside the view's: driving or dragging on finds them decoded.
void askDecoding(const AppSettings* s, const ViewRecord& cover, const std::vector<ViewSheet>& needed, double ax, double ay,
                 size_t viewBytes, bool withRing) {
    std::vector<SheetDecodeJob> jobs;
    view_sheets_by_distance(&pane.decodingShown, ax, ay);
    for (const ViewSheet& m : pane.decodingShown) jobs.push_back({m.path, m.format, true});
    size_t room = pane.cache.limitBytes > viewBytes ? pane.cache.limitBytes - viewBytes : 0, each = 0;
    int margin = 0;
    for (const auto& image : pane.images) {
        each = std::max(each, sheet_cache_bytes(*image));
        margin = std::max({margin, image->width, image->height});
    }
    room -= std::min(room, each * pane.decodingShown.size());
    ViewRecord ring = cover;
    ring.width += 2 * margin;
    ring.height += 2 * margin;
    std::vector<ViewSheet> around;
    // Sheets come and go from the first picture on, made on the worker and
    // let go here: each mapped on its own, one let go gives its memory back
    // at once instead of leaving holes in the heap that stay resident (tens
    // of MB at 4K). Not before: the start's many large allocations would
    // slow the first picture.
    if (withRing) mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    if (withRing && each > 0 && room >= each &&
        view_needed_sheets(ring, sheet_source_store_dir(s, s->satelliteImage), s->satelliteImage, &around, storeMemo(s)) >= 0) {
        double hx = ax, hy = ay, ux, uy;
        if (s->autoPan && gps_has_position() && gps_speed() > 0 &&
            view_follow_course_direction(cover, gps_latitude(), gps_longitude(), gps_course(), &ux, &uy)) {
            hx += ux * ring.width / 2 * cover.mpp;
            hy += uy * ring.height / 2 * cover.mpp;
        }
        view_sheets_by_distance(&around, hx, hy);
        std::set<std::string> inView;
        for (const ViewSheet& n : needed) inView.insert(n.path);
        for (const ViewSheet& m : around) {
            if (m.format < 0 || pane.undecodable.count(m.path) || inView.count(m.path)) continue;
            if (auto kept = sheet_cache_find(&pane.cache, m.path)) {
                room -= std::min(room, sheet_cache_bytes(*kept));
                continue;
            }
            if (room < each) break;
            jobs.push_back({m.path, m.format, false});
            room -= each;
        }
    }
    sheet_decoding_ask(pane.decoding.get(), jobs, wakeForDecoded);
}

// A centre kept from before in the plane of the view now: through degrees
// where the two planes meet. 0 when it cannot be placed there.
int inPlane(const ViewPane::Followed& f, int plane, double* x, double* y) {
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
    return view_plane_at(lat, lon, map_view.zoomLevel, big, map_view.paneWidth, map_view.paneHeight);
}

// Where following puts the centre for the vehicle at (x, y): on it, or
// ahead of it (Look Ahead), eased from fix to fix.
void followStep(const AppSettings* s, int plane, double lat, double lon, double* x, double* y) {
    int big = s->bigMaps ? 1 : 0;
    double mpp = view_pane_mpp(s);
    ViewRecord here{plane, map_view.zoomLevel, big, *x, *y, mpp, map_view.paneWidth, map_view.paneHeight, 0};
    double ux = 0, uy = 0, speed = gps_speed();
    if (!view_follow_course_direction(here, lat, lon, gps_course(), &ux, &uy)) ux = uy = 0;
    // The easing counts time between fixes, on the clock a zoom moves by
    // (a test's, when it sets one, so the view does not depend on how fast
    // the frames were made); a repaint without a new fix changes nothing.
    const int64_t ms = platform_monotonic_ms();
    double now = ms >= 0 ? static_cast<double>(ms) / 1000 : steadySeconds();
    unsigned count = gps_position_count();
    double dt = 0;
    if (count != pane.follow.fixCount) {
        dt = pane.follow.fixCount ? now - pane.follow.at : 0;
        pane.follow.fixCount = count;
        pane.follow.at = now;
    }
    // Course-up looks ahead up the pane whatever the course: by its height.
    double across = (app_window.courseUp ? map_view.paneHeight : map_view.paneWidth) * mpp;
    view_follow_step(&pane.follow.state, app_window.lookAhead ? FOLLOW_LOOK_AHEAD : FOLLOW_CENTRED, *x, *y, ux, uy,
                     std::isfinite(speed) ? speed : 0, across, map_view.paneHeight * mpp, dt, x, y);
}

// The pane's extents are the view's rectangle: everything placed through
// them (marker, trail, clicks) lands where the view draws it.
void placeExtents(const ViewRecord& view) {
    // The extents are the unturned pane's; the picture is them turned.
    ViewRecord flat = view;
    flat.rotation = 0;
    MapExtents e{view.cx, view.cy, 0, 0, 0, 0, view.plane, view.rotation};
    view_screen_to_plane(flat, 0, view.height, &e.minX, &e.minY);
    view_screen_to_plane(flat, view.width, 0, &e.maxX, &e.maxY);
    // The view's rectangle stands for the displayed sheet's record.
    map_view_hold_extents(&map_view, e);
}

// While a zoom moves toward a scale between the levels, the target's
// sheets (its images in the cache) are filtered to it a few milliseconds a
// frame, so that its first frame copies them rather than filtering every
// one (tens of ms at once); with filter false only counted. Returns how
// many are still to be filtered.
int prepareScale(const ViewRecord& target, const ViewImages& images, bool filter) {
    constexpr auto kBudget = std::chrono::microseconds(2500);
    if (images.empty()) return 0;       // at a level's own scale, or turned
    const auto start = std::chrono::steady_clock::now();
    // A sheet at a time: one takes a millisecond or more on a slow machine.
    int left = scaled_sheets_prepare(&pane.scaled, target, images, filter ? 1 : 0);
    while (filter && left > 0 && std::chrono::steady_clock::now() - start < kBudget) {
        const int before = left;
        left = scaled_sheets_prepare(&pane.scaled, target, images, 1);
        if (left >= before) break;     // no memory for more
    }
    return left;
}

// While a zoom moves: the picture it started from drawn for the view of
// this moment on the way to target, as the view shown. False once it is
// over (or cannot be drawn), for the target to be composed. Where the
// target's sheets are not all filtered to its scale when the movement
// ends, the picture stays at the target for a few more frames while they
// are, rather than one frame filtering the rest at once.
bool zoomFrame(const AppSettings* s, const ViewRecord& target, const std::vector<ViewSheet>& needed) {
    constexpr int kHeldMs = 200;
    ViewPane::ZoomMotion& zoom = pane.zoomMotion;
    if (zoom.startMs < 0) return false;
    int64_t now = platform_monotonic_ms();
    double t = now < 0 ? 1 : view_zoom_fraction(zoom.startMs, now);
    // The target's sheets in the cache, when it lies between the levels.
    ViewImages images;
    if (target.rotation == 0 && target.mpp != view_level_mpp(target.level, target.big))
        for (const ViewSheet& n : needed)
            if (n.format >= 0)
                if (auto image = sheet_cache_find(&pane.cache, n.path)) images.push_back(std::move(image));
    bool over = t >= 1 && (now < 0 || now - zoom.startMs >= VIEW_ZOOM_MS + kHeldMs || prepareScale(target, images, false) == 0);
    // Following, the vehicle stays exactly where the new view draws it while
    // fixes move it (and the view) on; the point both views show at one
    // pixel drifts from it as they do.
    double vx, vy;
    bool vehicle = s->autoPan && gps_has_position() &&
                   view_plane_from_degrees(target.plane, gps_latitude(), gps_longitude(), &vx, &vy);
    ViewRecord at;
    if (over || !view_pane_composing() || map_view.imageWidth != target.width || map_view.imageHeight != target.height ||
        !(vehicle ? view_zoom_keeping(zoom.from, target, vx, vy, t, &at) : view_zoom_between(zoom.from, target, t, &at))) {
        zoom.startMs = -1;
        zoom.picture.clear();
        return false;
    }
    zoom.showing = true;               // view_pane_draw scales the picture into the frame
    prepareScale(target, images, true);
    placeExtents(at);
    pane.shown = at;
    pane.shownKey.clear();             // the sheets are composed once it is over
    return true;
}

// The shown view at its scale into 32-bit rows of a stride, its colours
// through the curve (night colours; null by day).
void composeShown(const ViewRecord& view, uint32_t* at, int stride, const ColourCurve* curve) {
    const bool levelScale = view.mpp == view_level_mpp(view.level, view.big);
    // At a level's own scale the sheets kept filtered to another go.
    if (levelScale) scaled_sheets_clear(&pane.scaled);
    if (view.rotation != 0) composeTurned(view, at, stride, curve);
    else if (levelScale)
        view_compose_crew_compose(pane.crew.get(), view, pane.images, at, stride, curve);
    // Between the levels: the level's sheets kept box-filtered to the view's scale.
    else scaled_sheets_compose(&pane.scaled, view, pane.images, at, stride, curve);
}

const ColourCurve* curveOf(const ClientFrame& f) { return f.night ? &f.night->curve : nullptr; }

// The view into the frame at the pane (at, stride): where the frame holds
// its picture already, composed only where marks were drawn over it since;
// from then on what is drawn over it is recorded.
void composeIntoFrame(ClientFrame* f, const ViewRecord& view, uint32_t* at, int stride, const ColourCurve* curve) {
    ViewPane::Held& held = pane.held;
    FrameMarks* marks = f->marks;
    bool same = marks && marks->recording && held.valid && view.rotation == 0 && sameView(held.view, view) &&
                held.at == at && held.stride == stride && held.curve == curve && held.gathering == pane.gathering;
    if (same) {
        // Band by band of tiles, in runs of those drawn over.
        const bool levelScale = view.mpp == view_level_mpp(view.level, view.big);
        std::vector<ViewRun> runs;
        for (int r = 0; r < marks->rows; r++) {
            const uint8_t* tile = marks->tiles.data() + static_cast<long>(r) * marks->columns;
            runs.clear();
            for (int c = 0; c < marks->columns; c++) {
                if (!tile[c]) continue;
                const long x0 = static_cast<long>(c) * FrameMarks::TILE;
                if (!runs.empty() && runs.back().x1 == x0) runs.back().x1 += FrameMarks::TILE;
                else runs.push_back({x0, x0 + FrameMarks::TILE});
            }
            if (runs.empty()) continue;
            runs.back().x1 = std::min<long>(runs.back().x1, view.width);
            const ViewBand band{static_cast<long>(r) * FrameMarks::TILE, static_cast<long>(r + 1) * FrameMarks::TILE,
                                runs.data(), runs.size()};
            if (levelScale) view_compose_band(view, pane.images, at, stride, curve, band);
            else scaled_sheets_compose(&pane.scaled, view, pane.images, at, stride, curve, &band);
        }
    } else {
        composeShown(view, at, stride, curve);
    }
    held.valid = view.rotation == 0;
    held.view = view;
    held.gathering = pane.gathering;
    held.at = at;
    held.stride = stride;
    held.curve = curve;
    if (!marks) return;
    marks->recording = held.valid;
    marks->outside = false;
    marks->pane = FrameMarks::Rect{APP_PANE_X, APP_PANE_Y, APP_PANE_X + view.width, APP_PANE_Y + view.height};
    marks->columns = (view.width + FrameMarks::TILE - 1) / FrameMarks::TILE;
    marks->rows = (view.height + FrameMarks::TILE - 1) / FrameMarks::TILE;
    marks->tiles.assign(static_cast<size_t>(marks->columns) * marks->rows, 0);
}

// Whatever else fills the pane leaves no picture of the view to keep.
void forgetHeld(ClientFrame* f) {
    pane.held.valid = false;
    if (f->marks) f->marks->recording = false;
}

// Whether a composed pixel is the hatching's: one of its tones or, scaled,
// a grey between them; at night those through the curve (mixed after it).
bool hatchingAt(uint32_t p, const ColourCurve* curve) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (!curve) return r >= VIEW_HATCH_LINE && r <= VIEW_HATCH_GROUND && g == r && b == r;
    for (int v = VIEW_HATCH_LINE; v <= VIEW_HATCH_GROUND; v++)
        if (std::abs(curve->red[v] - r) <= 1 && std::abs(curve->green[v] - g) <= 1 && std::abs(curve->blue[v] - b) <= 1)
            return true;
    return false;
}

}  // namespace

double view_pane_mpp(const AppSettings* s) {
    int big = s->bigMaps ? 1 : 0;
    double mpp = view_scale_clamp(map_view.scaleMpp, big);
    // A scale of another level (a level button, a sheet brought up by
    // itself) is that level's own.
    return map_view.scaleMpp > 0 && view_scale_level(mpp, big) == map_view.zoomLevel ? mpp : view_level_mpp(map_view.zoomLevel, big);
}

void view_pane_start_zoom() {
    int64_t now = platform_monotonic_ms();
    if (now < 0 || !view_pane_composing()) return;
    ViewPane::ZoomMotion& zoom = pane.zoomMotion;
    // The view as shown, without the marks drawn over it, in the colours
    // of the frame it was shown in.
    zoom.picture.resize(static_cast<size_t>(pane.shown.width) * pane.shown.height);
    zoom.curve = curveOf(app_window.frame);
    composeShown(pane.shown, zoom.picture.data(), pane.shown.width, zoom.curve);
    zoom.from = pane.shown;
    zoom.startMs = now;
    zoom.showing = false;
    platform_set_timer(VIEW_ZOOM_FRAME_MS);
}

int view_pane_zooming() { return pane.zoomMotion.startMs >= 0; }

int view_pane_centre(const AppSettings* s, int* plane, double* x, double* y) {
    int big = s->bigMaps ? 1 : 0;
    if (s->autoPan && gps_has_position()) {
        double lat = gps_latitude(), lon = gps_longitude();
        *plane = view_plane_at(lat, lon, map_view.zoomLevel, big, map_view.paneWidth, map_view.paneHeight);
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
        pane.followed = {true, *x, *y, *plane};
        pane.freeCentre = ViewPane::Followed{};
        pane.lastFollowing = true;
        return 1;
    }
    // A lost fix keeps the view where the vehicle was (the stale marker).
    if (s->autoPan && pane.followed.valid) {
        pane.freeCentre = ViewPane::Followed{};
        pane.lastFollowing = true;
        *plane = planeAround(pane.followed.plane, pane.followed.x, pane.followed.y, big);
        return inPlane(pane.followed, *plane, x, y);
    }
    // Auto Pan turned off: the view stays where following left it.
    if (pane.lastFollowing && pane.followed.valid && !pane.freeCentre.valid) pane.freeCentre = pane.followed;
    pane.lastFollowing = false;
    if (pane.freeCentre.valid) {
        *plane = planeAround(pane.freeCentre.plane, pane.freeCentre.x, pane.freeCentre.y, big);
        return inPlane(pane.freeCentre, *plane, x, y);
    }
    SheetExtent e;
    if (!view_sheet_expected_extent(map_view.sheetLat, map_view.sheetLon, map_view.zoomLevel, big, &e)) return 0;
    *plane = e.epsg ? e.epsg : VIEW_PLANE_CANADA_LAMBERT;
    *x = e.centreX;
    *y = e.centreY;
    // A pane larger than the Canadian grid's sheets there stands in the other plane.
    int around = view_plane_at(map_view.sheetLat, map_view.sheetLon, map_view.zoomLevel, big, map_view.paneWidth, map_view.paneHeight);
    if (around == *plane) return 1;
    *plane = around;
    return view_plane_from_degrees(around, map_view.sheetLat, map_view.sheetLon, x, y);
}

int view_pane_update(const AppSettings* s) {
    takeDecoded();
    bool composing = view_pane_composing();
    if ((!map_view.pixels && !composing) || pane_placeholder_shown() || map_view.paneWidth <= 0 || map_view.paneHeight <= 0) return 0;
    if (!inStore(s, map_view.sheetPath)) return 0;
    int big = s->bigMaps ? 1 : 0;
    ViewRecord view{VIEW_PLANE_NONE, map_view.zoomLevel, big, 0, 0, view_pane_mpp(s), map_view.paneWidth, map_view.paneHeight, 0};
    if (!view_pane_centre(s, &view.plane, &view.cx, &view.cy)) return 0;
    view.rotation = turnNow(view);
    // Turned, the sheets are those under the square that covers the pane
    // at any angle.
    ViewRecord cover = view;
    if (view.rotation != 0) cover.width = cover.height = view_rotate_cover(view.width, view.height), cover.rotation = 0;
    // A view painted again where it was (a pointer moved, the strip changed)
    // needs the sheets it needed while the store looks the same.
    std::vector<ViewSheet> needed;
    ViewStoreMemo* memo = storeMemo(s);
    ViewPane::StoreLook& look = pane.storeLook;
    if (look.neededKept && sameView(cover, look.neededFor)) {
        needed = look.needed;
    } else {
        if (view_needed_sheets(cover, sheet_source_store_dir(s, s->satelliteImage), s->satelliteImage, &needed, memo) < 0) return 0;
        look.neededKept = true;
        look.neededFor = cover;
        look.needed = needed;
    }
    // The displayed sheet may lie off the grid (a half-step pan): it is
    // drawn all the same, and in the middle.
    bool displayed = false;
    for (const ViewSheet& n : needed) displayed = displayed || strcmp(n.path, map_view.sheetPath) == 0;
    ViewSheet own{map_view.sheetLat, map_view.sheetLon, -1, "", {}};
    if (!displayed && view_sheet_expected_extent(map_view.sheetLat, map_view.sheetLon, map_view.zoomLevel, big, &own.extent) &&
        (own.extent.epsg ? own.extent.epsg : VIEW_PLANE_CANADA_LAMBERT) == view.plane) {
        own.format = sheet_stored(own.path, sheet_source_store_dir(s, s->satelliteImage), map_view.sheetLat, map_view.sheetLon, map_view.zoomLevel, big,
                                 s->satelliteImage ? SHEET_JPEG : SHEET_GIF);
        if (own.format >= 0 && strcmp(own.path, map_view.sheetPath) == 0) needed.insert(needed.begin(), own);
    }
    if (zoomFrame(s, view, needed)) return 1;
    std::string key;
    for (const ViewSheet& n : needed)
        if (n.format >= 0) {
            key += n.path;
            key += '\n';
        }
    // The picture must be the view's and of its size: a picture loaded on
    // its own (even in the same block) is not the view.
    if (composing && sameView(view, pane.shown) && key == pane.shownKey && pane.shownAerial == s->satelliteImage) {
        // Asked again: a sheet whose back-off has passed is retried.
        request(s, pane.shown, pane.lastMissing);
        if (!pane.ringAsked) {
            size_t viewBytes = 0;
            for (const auto& image : pane.images) viewBytes += sheet_cache_bytes(*image);
            double ax, ay;
            fetchAnchor(s, view, &ax, &ay);
            askDecoding(s, cover, needed, ax, ay, viewBytes, true);
            pane.ringAsked = true;
        }
        return 0;
    }
    std::vector<ViewSheet> missing;
    // A view that waited for its sheets is shown before the ring is decoded
    // beside it (the first picture comes sooner); the next paint asks.
    pane.ringAsked = !gather(needed, &missing);
    // The bound holds at least the sheets of the view, as cached, and a
    // quarter more, so a large pane (4K) never evicts what its next frame
    // draws again.
    size_t viewBytes = 0;
    for (const auto& image : pane.images) viewBytes += sheet_cache_bytes(*image);
    pane.cache.limitBytes = std::max(SHEET_CACHE_DEFAULT_BYTES, viewBytes * 5 / 4);
    // The view takes the picture's place: a picture of its own goes with
    // its display bitmap, the view being composed where it is shown.
    free(map_view.pixels);
    map_view.pixels = nullptr;
    free(map_view.dibHeader);
    map_view.dibHeader = map_view.dibBits = nullptr;
    map_view.imageWidth = view.width;
    map_view.imageHeight = view.height;
    placeExtents(view);
    double ax, ay;
    fetchAnchor(s, view, &ax, &ay);
    view_sheets_by_distance(&missing, ax, ay);
    request(s, view, missing);
    askDecoding(s, cover, needed, ax, ay, viewBytes, pane.ringAsked);
    pane.lastMissing = missing;
    pane.shown = view;
    pane.shownKey = key;
    pane.shownAerial = s->satelliteImage;
    pane.composed = true;
    return 1;
}

int view_pane_draw(ClientFrame* f) {
    if (!view_pane_composing() || !f->px) return 0;
    const ViewRecord& view = pane.shown;
    // The pane lies inside the frame once the client's size is known; a
    // pane larger than the frame (before) is composed aside and cut.
    bool fits = APP_PANE_X + view.width <= f->width && APP_PANE_Y + view.height <= f->height;
    uint32_t* at = f->px + static_cast<long>(APP_PANE_Y) * f->stride + APP_PANE_X;
    int stride = f->stride;
    if (!fits) {
        pane.scratch.resize(static_cast<size_t>(view.width) * view.height);
        at = pane.scratch.data();
        stride = view.width;
    }
    const ColourCurve* curve = curveOf(*f);
    ViewPane::ZoomMotion& zoom = pane.zoomMotion;
    if (zoom.startMs >= 0 && zoom.showing) {
        // Night turned on or off on the way: the picture again in the frame's colours.
        if (zoom.curve != curve) composeShown(zoom.from, zoom.picture.data(), zoom.from.width, curve), zoom.curve = curve;
        uint32_t ground = 0xFF000000u | VIEW_HATCH_GROUND * 0x010101u;
        view_zoom_picture(zoom.picture.data(), zoom.from, at, stride, view, curve ? colour_curve_pixel(*curve, ground) : ground);
        forgetHeld(f);
    } else if (fits) {
        composeIntoFrame(f, view, at, stride, curve);
    } else {
        composeShown(view, at, stride, curve);
        forgetHeld(f);
    }
    // Only where the hatching shows: a neighbour may already cover it.
    pane.labels.clear();
    auto label = [&](const ViewSheet& m, const char* text) {
        double px, py;
        view_plane_to_screen(view, m.extent.centreX, m.extent.centreY, &px, &py);
        if (!(px >= 0 && py >= 0 && px < view.width && py < view.height)) return;
        int x = static_cast<int>(px), y = static_cast<int>(py);
        if (hatchingAt(at[static_cast<long>(y) * stride + x], curve)) pane.labels.push_back({x, y, text});
    };
    for (const ViewSheet& m : pane.loading) label(m, "loading");
    for (const ViewSheet& m : pane.decodingShown) label(m, "loading");
    for (const ViewSheet& m : pane.failing) label(m, "failed");
    if (fits) return 1;
    for (int r = 0; r < view.height && APP_PANE_Y + r < f->height; r++)
        std::copy_n(at + static_cast<long>(r) * stride, std::max(0, std::min(view.width, f->width - APP_PANE_X)),
                    f->px + static_cast<long>(APP_PANE_Y + r) * f->stride + APP_PANE_X);
    return 1;
}

void view_pane_move_to(const AppSettings* s, int plane, double x, double y, int level) {
    double lat, lon, sheetLat, sheetLon;
    int big = s->bigMaps ? 1 : 0;
    const char* why;
    // Beyond every grid the view stays where it is.
    if (!view_plane_to_degrees(plane, x, y, &lat, &lon) ||
        world_grid_snap(lat, lon, level, big, &sheetLat, &sheetLon, &why) == VIEW_PLANE_NONE)
        return;
    pane.freeCentre = {true, x, y, plane};
    pane.lastFollowing = false;
    map_view.zoomLevel = level;
    map_view.sheetLat = sheetLat;
    map_view.sheetLon = sheetLon;
    map_view.focusLat = lat;
    map_view.focusLon = lon;
    char path[SHEET_PATH_MAX];
    sheet_stored(path, sheet_source_store_dir(s, s->satelliteImage), map_view.sheetLat, map_view.sheetLon, level, big, s->satelliteImage ? SHEET_JPEG : SHEET_GIF);
    if (path[0]) snprintf(map_view.sheetPath, sizeof map_view.sheetPath, "%s", path);
    platform_invalidate(0);
}

int view_pane_centre_now(const AppSettings* s, int* plane, double* x, double* y, double* mpp) {
    *mpp = view_pane_mpp(s);
    if (pane.composed && pane.shown.level == map_view.zoomLevel && pane.shown.big == (s->bigMaps ? 1 : 0)) {
        // The view on screen, a zoom's frame included: what the pointer points at.
        *plane = pane.shown.plane;
        *x = pane.shown.cx;
        *y = pane.shown.cy;
        *mpp = pane.shown.mpp;
        return 1;
    }
    return view_pane_centre(s, plane, x, y);
}

void view_pane_clear_centre() {
    pane.freeCentre = ViewPane::Followed{};
    pane.lastFollowing = false;
}

void view_pane_draw_loading() {
    if (!view_pane_composing()) return;
    for (const ViewPane::Label& l : pane.labels)
        platform_draw_text(APP_PANE_X + l.x - app_px(24), APP_PANE_Y + l.y - app_px(kLoadingHeight) / 2, l.text, app_px(kLoadingHeight), 400,
                           kLoadingGrey);
    const AppSettings* s = app_window.settings;
    if (!s || pane.lastMissing.empty()) return;
    // Why the hatching stays: said once for the pane, not per sheet.
    char line[400] = "";
    const char* failure = sheet_fetching_failure();
    if (!s->online) snprintf(line, sizeof line, "offline: sheets not stored are not fetched");
    else if (!pane.failing.empty() || (failure && !pane.loading.empty()))
        pane_notice_server_trouble(s, failure ? failure : "", line, sizeof line);
    if (line[0]) platform_draw_text(APP_PANE_X + app_px(8), APP_PANE_Y + app_px(8), line, app_px(kLoadingHeight), 700, RGB_BLACK);
}

void view_pane_forget(const char* path) {
    sheet_cache_drop(&pane.cache, path);
    sheet_decoding_drop(pane.decoding.get(), path);
    pane.undecodable.erase(path);
    pane.stamps.erase(path);
    forgetStoreLook();
    pane.shownKey.clear();             // a file replaced in place leaves the key as it was
}

int view_pane_take_sheet(const AppSettings* s, const char* path) {
    if (!view_pane_composing() || !inStore(s, path)) return 0;
    // Auto Pan onto a sheet the view has decoded (the vehicle crossing into
    // it): the same file is not decoded again inside the frame.
    std::string stamp = sheet_decoding_stamp(path);
    auto kept = pane.stamps.find(path);
    if (!stamp.empty() && kept != pane.stamps.end() && kept->second == stamp && sheet_cache_find(&pane.cache, path)) {
        pane.shownKey.clear();
        return 1;
    }
    view_pane_forget(path);
    std::string why;
    if (!sheet_cache_get(&pane.cache, path, sheet_image_format_of_path(path, s->satelliteImage), &why)) return 0;
    pane.stamps[path] = stamp;
    pane.shownKey.clear();             // composed again even where the view stays
    return 1;
}

void view_pane_forget_store() {
    sheet_decoding_stop(pane.decoding.get());
    pane.decodingShown.clear();
    pane.undecodable.clear();
    pane.stamps.clear();
    pane.cache = SheetCache{};
    pane.storeLook = ViewPane::StoreLook{};
    pane.renewedBroken.clear();
}

int view_pane_composing() {
    return pane.composed && !map_view.pixels && map_view.imageWidth == pane.shown.width && map_view.imageHeight == pane.shown.height;
}

void view_pane_unturn(double* dx, double* dy) {
    if (!pane.composed || pane.shown.rotation == 0) return;
    double c = std::cos(pane.shown.rotation), s = std::sin(pane.shown.rotation), x = *dx * c + *dy * s;
    *dy = *dy * c - *dx * s;
    *dx = x;
}

int view_pane_current(ViewRecord* out) {
    if (!pane.composed) return 0;
    *out = pane.shown;
    return 1;
}

void view_pane_reset() { view_pane = ViewPane{}; }   // the worker is joined with the old record

void view_pane_stop_decoding() { sheet_decoding_stop(pane.decoding.get()); }

int view_pane_decoding_drain(int timeoutMs) { return sheet_decoding_drain(pane.decoding.get(), timeoutMs); }

int view_pane_show_point(AppSettings* s, double lat, double lon) {
    int plane = view_plane_at(lat, lon, map_view.zoomLevel, s->bigMaps ? 1 : 0, map_view.paneWidth, map_view.paneHeight);
    double x, y;
    if (plane == VIEW_PLANE_NONE || !view_plane_from_degrees(plane, lat, lon, &x, &y)) return 0;
    if (s->autoPan) {
        s->autoPan = 0;
        platform_menu_check(MENU_AUTO_PAN, 0);
    }
    view_pane_move_to(s, plane, x, y, map_view.zoomLevel);
    platform_invalidate(0);
    return 1;
}
