// The paint: position refresh, auto-pan, then the whole client area composed
// in software (toolbar, frame lines, sheet with overlays) and shown with one
// blit; the speed read-out is drawn over it as outlined text.
#include "app/paint.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "app/display_bitmap.h"
#include "app/fix_strip.h"
#include "app/go_to.h"
#include "app/go_to_marks.h"
#include "app/go_to_strip.h"
#include "app/marker.h"
#include "app/night_by_sun.h"
#include "app/night_palette.h"
#include "app/north_indicator.h"
#include "app/scale_bar.h"
#include "app/navigation.h"
#include "app/pane_notice.h"
#include "app/pane_place.h"
#include "app/position_refresh.h"
#include "app/ruler.h"
#include "app/road_route_marks.h"
#include "app/road_routing.h"
#include "app/stale_fix.h"
#include "app/tile_credit.h"
#include "app/track_stats_dialog.h"
#include "app/toolbar.h"
#include "app/track_overlay.h"
#include "app/track_plot.h"
#include "app/view_pane.h"
#include "app/waypoint_marks.h"
#include "app/window_events.h"
#include "maps/map_view.h"
#include "maps/view_follow.h"
#include "maps/view_plane.h"
#include "nav/distance_text.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

constexpr double kMovingSpeed = 0.2;    // m/s
constexpr int kSpeedShownSeconds = 10;
constexpr uint32_t kSpeedRed = 0xCC0000;
// At scale 1; app_px gives them on the screen.
constexpr int kScaleTextHeight = 14;
constexpr int kStripHeight = 24;           // the fix strip under the scale bar

void rebuildDisplayBitmap() { display_bitmap_rebuild(map_view); }

void paneFrame(ClientFrame* f) {
    const int pw = map_view.paneWidth, ph = map_view.paneHeight, px = APP_PANE_X, top = APP_PANE_Y - 1;
    frame_fill_rect(f, 0, top + 1 + ph, pw + 2 * px, px, RGB_WHITE);
    frame_fill_rect(f, px + pw, top, px, ph + 1 + px, RGB_WHITE);
    frame_fill_rect(f, 0, top, pw + 2 * px, 1, RGB_BLACK);
    frame_fill_rect(f, 0, top, px, ph + 1 + px, RGB_BLACK);
}

// Where the marks go: the frame at the pane while the view is composed
// there (anew at every paint), else the display bitmap of the picture.
MarkSurface marks(const ClientFrame* f) {
    if (!view_pane_composing())
        return mark_surface_bitmap(map_view.dibBits, map_view.imageWidth, map_view.imageHeight);
    auto* at = reinterpret_cast<unsigned char*>(f->px + static_cast<long>(APP_PANE_Y) * f->stride + APP_PANE_X);
    return MarkSurface{at, std::min(map_view.imageWidth, f->width - APP_PANE_X), std::min(map_view.imageHeight, f->height - APP_PANE_Y),
                       static_cast<long>(f->stride) * 4, 4, f->night, f, APP_PANE_X, APP_PANE_Y};
}

// Past positions (logged track, trail) and opened GPX tracks go under the
// marker; the bitmap is rebuilt when the marker moves, so they are drawn
// anew each time and the cross-hair is never kept.
void overlays(const MarkSurface& to) {
    const AppSettings* s = app_window.settings;
    if (!track_overlay_count() && !s->plot && !track_trail_size()) return;
    nav_ensure_extents();
    track_plot_draw(s, to);
    track_overlay_draw(to);
}

// The vehicle as drawn into the display bitmap, to be drawn again in its
// own colours over the frame at night: dimmed with the map it would be
// lost on it.
struct VehicleMark {
    bool shown, arrow;
    int x, y;                          // in the display bitmap
    double angle;                      // the arrow's, degrees clockwise from up
    const char* const* pattern;        // the disc's or the stale ring's
};

void markDisc(const MarkSurface& to, VehicleMark* mark, int x, int y, const char* const pattern[11]) {
    drawMarker(to, x, y, pattern);
    *mark = VehicleMark{true, false, x, y, 0, pattern};
}

// A position that is no longer current: a hollow grey marker where it was.
void staleMarker(const MarkSurface& to, VehicleMark* mark) {
    double lat, lon;
    int px, py;
    if (!stale_fix_last(&lat, &lon)) return;
    nav_ensure_extents();
    if (track_place(lat, lon, &px, &py)) markDisc(to, mark, px, py, STALE_MARKER_PATTERN);
}

// The map pixel a placed position lies in, counted from the plane's origin.
void groundPixel(double lat, double lon, int* gx, int* gy) {
    double x = 0, y = 0, mpp = (map_view.extMaxX - map_view.extMinX) / map_view.imageWidth;
    view_plane_from_degrees(map_view.extPlane, lat, lon, &x, &y);
    *gx = static_cast<int>(std::floor(x / mpp));
    *gy = static_cast<int>(std::floor(y / mpp));
}

// freshBitmap: the picture under the marks was made in this paint (the
// view, composed into the frame), so it bears no marks and needs no
// rebuilding.
void marker(AppSettings* s, bool freshBitmap, const ClientFrame* f, VehicleMark* mark) {
    MarkSurface to = marks(f);
    *mark = VehicleMark{};
    // A stale fix counts as a state of its own (-1): the marker's look changes.
    int fix = gps_fix_mode(), stale = stale_fix_stale(), state = stale ? -1 : fix;
    if (!s->track) track_trail_clear();
    if (state != map_view.lastFixState) {
        if (!freshBitmap) rebuildDisplayBitmap(), to = marks(f);
        freshBitmap = true;
        map_view.lastFixState = state;
    }
    if (fix <= 0 || stale) {
        overlays(to);
        staleMarker(to, mark);
        return;
    }
    if (!gps_has_position()) {
        overlays(to);
        return;
    }
    nav_ensure_extents();
    double lat = gps_latitude(), lon = gps_longitude();
    int px, py;
    if (!track_place(lat, lon, &px, &py)) {
        overlays(to);
        return;
    }
    // Moved by a pixel of the map, not of the screen: the view follows the
    // vehicle, so its screen pixel stays.
    int gx, gy;
    groundPixel(lat, lon, &gx, &gy);
    bool moved = gx != map_view.lastMarkerX || gy != map_view.lastMarkerY;
    if (moved) {
        track_log_point(s, lat, lon);
        if (!freshBitmap) rebuildDisplayBitmap(), to = marks(f);
    }
    // Turning Track on starts the trail where the marker stands.
    if (s->track && (moved || !track_trail_size())) track_trail_add(lat, lon);
    overlays(to);
    drawCrossHair(to, px, py, s->crossHair);
    // Moving: an arrow along the course as the view shows it; standing: the disc.
    ViewRecord view;
    double ux, uy, course = gps_course();
    if (vehicleArrowShown(gps_speed(), std::isfinite(course) ? 1 : 0) && view_pane_current(&view) &&
        view_follow_course_direction(view, lat, lon, course, &ux, &uy)) {
        double angle = view_follow_screen_angle(ux, uy);
        drawVehicleArrow(to, px, py, angle);
        *mark = VehicleMark{true, true, px, py, angle, nullptr};
    } else {
        markDisc(to, mark, px, py, MARKER_PATTERN);
    }
    map_view.lastMarkerX = gx;
    map_view.lastMarkerY = gy;
}

// The sheet into the pane: the middle of a larger picture, the top-left
// corner of the pane for a smaller one.
int sheetOffsetX() {
    int x, y;
    pane_picture_offset(&x, &y);
    return x;
}
int sheetOffsetY() {
    int x, y;
    pane_picture_offset(&x, &y);
    return y;
}

int shownWidth() { return std::min(map_view.imageWidth - sheetOffsetX(), map_view.paneWidth); }
int shownHeight() { return std::min(map_view.imageHeight - sheetOffsetY(), map_view.paneHeight); }

void showSheet(ClientFrame* f) {
    frame_put_bgr(f, APP_PANE_X, APP_PANE_Y, map_view.dibBits, map_view_bitmap_stride(map_view.imageWidth), sheetOffsetX(),
                  sheetOffsetY(), shownWidth(), shownHeight());
}

bool sameChrome(const FrameChrome& a, const FrameChrome& b) {
    return a.drawn == b.drawn && a.px == b.px && a.width == b.width && a.height == b.height && a.stride == b.stride &&
           a.scale == b.scale && a.night == b.night && a.shownWidth == b.shownWidth && a.shownHeight == b.shownHeight &&
           a.paneWidth == b.paneWidth && a.paneHeight == b.paneHeight && a.autoPan == b.autoPan && a.zoomLevel == b.zoomLevel;
}

// The frame for a mark that keeps its own colours, night or day.
ClientFrame ownColours(const ClientFrame* f) {
    ClientFrame own = *f;
    own.night = nullptr;
    return own;
}

// The vehicle in its own colours over the night frame, so it stands out
// at night as by day (and over the road route by day): drawn on a keyed
// patch, its pixels put in the pane. On a scaled screen every time, each
// pixel of the patch a block, so the mark keeps its size on the screen.
void vehicleOverNight(ClientFrame* f, const VehicleMark& mark) {
    ClientFrame own = ownColours(f);
    if (!mark.shown) return;
    constexpr int kSide = 27, kHalf = kSide / 2;
    constexpr unsigned char kKey = 1;  // no colour of the marks
    constexpr int kStride = (kSide * 3 + 3) / 4 * 4;   // the display bitmap's rows
    const int stride = map_view_bitmap_stride(kSide);
    unsigned char patch[kSide * kStride];
    if (stride != kStride) return;
    memset(patch, kKey, sizeof patch);
    MarkSurface onPatch = mark_surface_bitmap(patch, kSide, kSide);
    if (mark.arrow) drawVehicleArrow(onPatch, kHalf, kHalf, mark.angle);
    else drawMarker(onPatch, kHalf, kHalf, mark.pattern);
    const int left = APP_PANE_X, top = APP_PANE_Y, right = left + shownWidth(), bottom = top + shownHeight();
    const int k = app_px(1);
    for (int r = 0; r < kSide; r++)
        for (int c = 0; c < kSide; c++) {
            const unsigned char* p = patch + r * stride + c * 3;
            if (p[0] == kKey && p[1] == kKey && p[2] == kKey) continue;
            int x = left + mark.x - sheetOffsetX() + (c - kHalf) * k - k / 2,
                y = top + mark.y - sheetOffsetY() + (r - kHalf) * k - k / 2;
            if (x < left || x + k > right || y < top || y + k > bottom) continue;
            frame_fill_rect(&own, x, y, k, k, (static_cast<uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0]);
        }
}

// The scale bar into the frame, above the fix strip in the pane's
// bottom-left corner; its label is drawn after the blit.
struct ScaleLabel {
    bool shown;
    int x, y;
    char text[16];
};

ScaleLabel scaleBar(const AppSettings* s, ClientFrame* f, int navigationHeight) {
    ScaleLabel label{};
    ViewRecord view;
    if (!view_pane_current(&view)) return label;
    int w = std::min(map_view.imageWidth, map_view.paneWidth), h = std::min(map_view.imageHeight, map_view.paneHeight);
    ScaleBar bar;
    double ground = scale_bar_ground_mpp(view, view.width / 2.0, view.height / 2.0);
    if (!(ground > 0) || !scale_bar_choose(ground, std::min(app_px(200), w / 3), s->speedUnit == 'M', &bar))
        return label;
    ScaleBarPlace place;
    scale_bar_place(APP_PANE_X, APP_PANE_Y, w, h - app_px(kStripHeight) - navigationHeight, bar.lengthPx,
                    app_px(kScaleTextHeight), SCALE_BAR_BOTTOM_LEFT, &place);
    scale_bar_draw(*f, place.barX, place.barY, bar.lengthPx);
    label.shown = true;
    label.x = place.labelX;
    label.y = place.labelY;
    snprintf(label.text, sizeof label.text, "%s", bar.label);
    return label;
}

void speedReadout(const AppSettings* s, int navigationHeight) {
    char text[64];
    paint_speed_text(text, sizeof text);
    if (!text[0]) return;
    int height = app_px(s->bigMaps ? 48 : 36);
    int x = map_view.paneWidth - app_px(s->bigMaps ? 24 : 18) * static_cast<int>(strlen(text));
    int y = APP_PANE_Y - 1 + map_view.paneHeight - height;
    // Above the fix strip, as the scale bar: in a narrow window the two
    // would meet.
    int w = std::min(map_view.imageWidth, map_view.paneWidth), h = std::min(map_view.imageHeight, map_view.paneHeight);
    if (fix_strip_shown(w, h)) y -= app_px(kStripHeight);
    y -= navigationHeight;
    bool night = app_window.night;
    uint32_t outline = night ? NIGHT_READOUT_OUTLINE : RGB_WHITE;
    const int o = app_px(2);
    platform_draw_text(x - o, y, text, height, 900, outline);
    platform_draw_text(x, y - o, text, height, 900, outline);
    platform_draw_text(x + o, y, text, height, 900, outline);
    platform_draw_text(x, y + o, text, height, 900, outline);
    // Dimmed while the fix is not current.
    platform_draw_text(x, y, text, height, 900,
                       stale_fix_stale() ? STALE_FIX_GREY : night ? NIGHT_READOUT_ALERT : kSpeedRed);
}

}  // namespace

void paint_speed_text(char* out, int size) {
    const AppSettings* s = app_window.settings;
    out[0] = 0;
    int64_t now = platform_monotonic_seconds();
    double speed = gps_speed();
    if (!s->speedUnit || !s->connected) return;
    if (!(speed > kMovingSpeed) && !(now - map_view.lastMovingTime < kSpeedShownSeconds)) return;
    if (speed > kMovingSpeed) map_view.lastMovingTime = now;
    char point[4] = "";
    gps_course_point(point);
    double shown = speed / speed_unit_mps(s->speedUnit);
    if (!std::isfinite(shown) || shown < -1e9 || shown > 1e9) shown = 0;
    snprintf(out, static_cast<size_t>(size), "%d %s %s", static_cast<int>(std::floor(shown)),
             speed_unit_text(s->speedUnit), point);
}

void app_paint() {
    AppSettings* s = app_window.settings;
    if (!s) return;
    stale_fix_update(s);
    app_position_refresh();
    nav_auto_pan_step();
    view_pane_update(s);
    night_by_sun_update();   // night colours by the sun

    int cw = map_view.clientWidth, ch = map_view.clientHeight;
    if (cw <= 0 || ch <= 0) app_client_size(s->bigMaps, &cw, &ch);
    ClientFrame* f = &app_window.frame;
    if (!frame_ensure(f, cw, ch)) return;
    f->marks = &app_window.frameMarks;
    // At night everything is drawn in its night colours, the map as it is
    // composed: the frame is made once, not dimmed over again.
    f->night = app_window.night ? &night_colours() : nullptr;
    // The view composed into the frame, or a picture of its own.
    bool composing = view_pane_composing();
    bool sheet = (composing || map_view.dibHeader) && map_view.imageWidth > 0;
    // The window's own parts, unless the frame holds them as they would be
    // drawn: the ground where the sheet does not cover it (it covers most
    // of it), the toolbar and the pane's frame.
    FrameChrome chrome{true, f->px, f->width, f->height, f->stride, app_px(1), f->night, sheet ? shownWidth() : 0,
                       sheet ? shownHeight() : 0, map_view.paneWidth, map_view.paneHeight, s->autoPan, map_view.zoomLevel};
    const FrameMarks& drawnOver = app_window.frameMarks;
    if (!composing || !drawnOver.recording || drawnOver.outside || !sameChrome(chrome, app_window.frameChrome)) {
        if (sheet)
            frame_fill_around(f, APP_PANE_X, APP_PANE_Y, shownWidth(), shownHeight(), RGB_FACE);
        else
            frame_fill(f, RGB_FACE);
        toolbar_draw(f, s->autoPan, map_view.zoomLevel);
        if (sheet) paneFrame(f);
        app_window.frameChrome = chrome;
    }
    ScaleLabel scale{};
    VehicleMark mark{};
    // Go To: the reading of this fix, its marks under the read-outs, its
    // strip above the fix strip.
    int64_t navigationTime = 0;
    const NavReading& navigation = go_to_update(s, &navigationTime);
    road_routing_update(s);
    GoToStrip strip{};
    GoToLabel navigationLabel{};
    const int paneW = std::min(map_view.imageWidth, map_view.paneWidth),
              paneBottom = APP_PANE_Y + std::min(map_view.imageHeight, map_view.paneHeight) - app_px(kStripHeight);
    if (sheet) {
        if (composing) view_pane_draw(f);
        marker(s, composing, f, &mark);
        if (!composing) showSheet(f);
        // Road route: a wide line under the vehicle, which goes over it again.
        if (road_route_marks_draw(f, road_routing_route(), APP_PANE_X, APP_PANE_Y, sheetOffsetX(), sheetOffsetY(),
                                  shownWidth(), shownHeight()) && !app_window.night)
            vehicleOverNight(f, mark);
        else if (app_px(1) > 1 && !app_window.night)
            vehicleOverNight(f, mark);   // the vehicle at the screen's scale
        // The user's waypoints, over every source's picture.
        waypoint_marks_draw(f, sheetOffsetX(), sheetOffsetY(), shownWidth(), shownHeight());
        go_to_marks_draw(f, navigation, APP_PANE_X, APP_PANE_Y, sheetOffsetX(), sheetOffsetY(), shownWidth(),
                         shownHeight(), s->speedUnit == 'M', &navigationLabel);
        go_to_strip_layout(s, navigation, navigationTime, paneW, &strip);
        go_to_strip_band(f, APP_PANE_X, paneBottom, paneW, strip);
        tile_credit_draw(s, f, APP_PANE_X, APP_PANE_Y, std::min(map_view.imageWidth, map_view.paneWidth));
        scale = scaleBar(s, f, go_to_strip_height(strip));
        // Measure and the point picked on a track's plot: over the map and
        // the vehicle, under the read-outs.
        ruler_draw(f, APP_PANE_X, APP_PANE_Y, shownWidth(), shownHeight());
        track_mark_draw(f, APP_PANE_X, APP_PANE_Y, shownWidth(), shownHeight());
    }
    if (app_window.night) vehicleOverNight(f, mark);
    // North: over everything on the map, in its own day or night colours.
    ClientFrame own = ownColours(f);
    if (sheet) north_indicator_draw(s, &own, APP_PANE_X, APP_PANE_Y, std::min(map_view.imageWidth, map_view.paneWidth), app_window.night);
    platform_blit_xrgb(0, 0, f->width, f->height, f->px, f->stride);
    pane_notice_draw();
    if (sheet) {
        view_pane_draw_loading();
        track_overlay_draw_names(APP_PANE_X, APP_PANE_Y, sheetOffsetX(), sheetOffsetY(),
                                 std::min(map_view.imageWidth, map_view.paneWidth), std::min(map_view.imageHeight, map_view.paneHeight));
        waypoint_marks_draw_names(app_window.night);   // the user's waypoints
        if (scale.shown)
            platform_draw_text(scale.x, scale.y, scale.text, app_px(kScaleTextHeight), 700,
                               app_window.night ? NIGHT_READOUT_TEXT : RGB_BLACK);
        ruler_draw_text(APP_PANE_X, APP_PANE_Y, shownWidth(), shownHeight(), app_window.night);   // Measure
        fix_strip_draw(APP_PANE_X, APP_PANE_Y, std::min(map_view.imageWidth, map_view.paneWidth),
                       std::min(map_view.imageHeight, map_view.paneHeight), app_window.night);
        go_to_marks_label(navigationLabel, app_window.night);
        go_to_strip_text(APP_PANE_X, paneBottom, strip, app_window.night);
        speedReadout(s, go_to_strip_height(strip));
    }
}
