#include "app/view_input.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/app_state.h"
#include "app/navigation.h"
#include "app/view_pane.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "maps/view_scale.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

namespace {

// A press that moves less than this is still a click: a hand on a
// touchpad or in a moving vehicle is never still.
constexpr int kDragThreshold = 4;

struct Press {
    bool down, dragging;
    int x, y;                          // where it went down
    double cx, cy, mpp;                // the view's centre then
    int plane;                         // and its plane
} press{};

MapView& v = map_view;

void autoPanOff(AppSettings* s) {
    if (!s->autoPan) return;
    s->autoPan = 0;
    platform_menu_check(MENU_AUTO_PAN, 0);
}

// The view to metres per pixel mpp1 with the plane point under pane pixel
// (px, py) kept there, the level following the scale. With Auto Pan on
// the vehicle stays the centre.
void zoomTo(double px, double py, double mpp1) {
    AppSettings* s = app_window.settings;
    if (!s) return;
    double cx, cy, mpp;
    int plane;
    if (!view_pane_centre_now(s, &plane, &cx, &cy, &mpp)) return;
    int big = s->bigMaps ? 1 : 0;
    if (std::fabs(mpp1 - view_pane_mpp(s)) <= 1e-9 * mpp1) return;
    // Following keeps the centre; else the point under the pointer stays
    // under it at the new scale.
    double dx = px - v.paneWidth / 2.0, dy = py - v.paneHeight / 2.0;
    view_pane_unturn(&dx, &dy);   // course-up
    double x = cx, y = cy;
    if (!s->autoPan) {
        x += dx * (mpp - mpp1);
        y -= dy * (mpp - mpp1);
    }
    view_pane_start_zoom();
    v.scaleMpp = mpp1;
    view_pane_move_to(s, plane, x, y, view_scale_level(mpp1, big));
}

// Notches of the wheel and the zoom keys: a fraction of a level each.
void zoomAbout(double px, double py, int steps) {
    AppSettings* s = app_window.settings;
    if (!s || !steps) return;
    zoomTo(px, py, view_scale_step(view_pane_mpp(s), steps, s->bigMaps ? 1 : 0));
}

}  // namespace

void view_input_press(int x, int y) {
    const AppSettings* s = app_window.settings;
    press = Press{};
    if (!s || !nav_in_pane(x, y)) return;
    press.down = true;
    press.x = x;
    press.y = y;
    if (!view_pane_centre_now(s, &press.plane, &press.cx, &press.cy, &press.mpp)) press.mpp = 0;
}

void view_input_drag(int x, int y) {
    AppSettings* s = app_window.settings;
    if (!s || !press.down || !(press.mpp > 0)) return;
    if (!press.dragging && std::abs(x - press.x) < kDragThreshold && std::abs(y - press.y) < kDragThreshold) return;
    press.dragging = true;
    autoPanOff(s);
    double dx = x - press.x, dy = y - press.y;
    view_pane_unturn(&dx, &dy);   // course-up
    view_pane_move_to(s, press.plane, press.cx - dx * press.mpp, press.cy + dy * press.mpp, v.zoomLevel);
}

int view_input_release(int x, int y) {
    bool click = press.down && !press.dragging;
    if (press.dragging) view_input_drag(x, y);
    press = Press{};
    return click && nav_in_pane(x, y);
}

void view_input_wheel(int x, int y, int steps) {
    if (!nav_in_pane(x, y)) return;
    zoomAbout(x - APP_PANE_X + 0.5, y - APP_PANE_Y + 0.5, steps);   // the pixel's middle
}

int view_input_click_zoom(int x, int y, int steps) {
    AppSettings* s = app_window.settings;
    if (!view_pane_composing() || !s) return 0;
    // A click is a whole level, as the level buttons: to the next level's own scale.
    if (nav_in_pane(x, y))
        zoomTo(x - APP_PANE_X + 0.5, y - APP_PANE_Y + 0.5,
               view_scale_next_level(view_pane_mpp(s), steps, s->bigMaps ? 1 : 0));
    return 1;
}

void view_input_zoom(int steps) { zoomAbout(v.paneWidth / 2.0, v.paneHeight / 2.0, steps); }

void view_input_pan(double fx, double fy) {
    AppSettings* s = app_window.settings;
    double cx, cy, mpp;
    int plane;
    if (!s || !view_pane_centre_now(s, &plane, &cx, &cy, &mpp)) return;
    autoPanOff(s);
    // Up the screen, also on a course-up map.
    double dx = fx * v.paneWidth, dy = -fy * v.paneHeight;
    view_pane_unturn(&dx, &dy);
    view_pane_move_to(s, plane, cx + dx * mpp, cy - dy * mpp, v.zoomLevel);
}

void view_input_back_to_vehicle() {
    view_pane_clear_centre();
    nav_auto_pan_button();
}

void view_input_reset() { press = Press{}; }
