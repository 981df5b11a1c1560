// Mouse, keys, commands, size and position of the main window.
#include "app/app_state.h"
#include "app/commands.h"
#include "app/commands_go_to.h"
#include "app/display_bitmap.h"
#include "app/fix_strip.h"
#include "app/navigation.h"
#include "app/pane_notice.h"
#include "app/ruler.h"
#include "app/toolbar.h"
#include "app/view_input.h"
#include "app/waypoints.h"
#include "app/window_events.h"
#include "maps/map_view.h"
#include "platform/platform.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

namespace {

// The cursor keys and the arrow buttons: a quarter of the pane, a whole
// pane with Shift.
void panPart(int key, int shift) {
    double f = shift ? 1.0 : 0.25;
    switch (key) {
    case APP_KEY_LEFT: view_input_pan(-f, 0); break;
    case APP_KEY_UP: view_input_pan(0, f); break;
    case APP_KEY_DOWN: view_input_pan(0, -f); break;
    case APP_KEY_RIGHT: view_input_pan(f, 0); break;
    default: break;
    }
}

}  // namespace

void app_mouse_down(int button, int x, int y, int shift, int ctrl) {
    if (!app_window.settings) return;
    // Ctrl+click: a waypoint at that point of the map.
    if (ctrl && button == APP_BUTTON_LEFT && nav_in_pane(x, y)) return waypoint_mark_at_pane(x, y);
    if (button == APP_BUTTON_RIGHT) {
        if (app_ruler.on) return;   // Measure: clicks do not zoom
        // Out about the clicked point, as the wheel.
        if (nav_in_pane(x, y) && !view_input_click_zoom(x, y, -1)) nav_zoom_out();
        return;
    }
    if (button != APP_BUTTON_LEFT) return;
    switch (int hit = toolbar_hit(x, y)) {
    case TOOL_NONE: view_input_press(x, y); break;
    case TOOL_AUTO_PAN: nav_auto_pan_button(); break;
    case TOOL_WEST: panPart(APP_KEY_LEFT, shift); break;
    case TOOL_NORTH: panPart(APP_KEY_UP, shift); break;
    case TOOL_SOUTH: panPart(APP_KEY_DOWN, shift); break;
    case TOOL_EAST: panPart(APP_KEY_RIGHT, shift); break;
    default: nav_level(hit - TOOL_LEVEL_0); break;
    }
}

void app_mouse_up(int button, int x, int y) {
    if (!app_window.settings || button != APP_BUTTON_LEFT) return;
    // A click that did not pan zooms in about its point, as the wheel.
    if (!view_input_release(x, y)) return;
    if (app_ruler.on) {   // Measure: a click adds a point, never zooms
        ruler_click(x, y);
        return;
    }
    if (!view_input_click_zoom(x, y, 1)) nav_zoom_in(x, y);
}

void app_mouse_move(int x, int y, int leftDown) {
    if (leftDown && app_window.settings) view_input_drag(x, y);
    toolbar_hover(x, y);
    nav_mouse_move(x, y);
    fix_strip_pointer_moved(x, y);   // the pointer's position in the fix strip
    go_to_pointer_moved(x, y);   // Go To Pointer's point
}

void app_mouse_wheel(int x, int y, int steps) {
    if (app_window.settings) view_input_wheel(x, y, steps);
}

void app_key_down(int key, int shift) {
    if (!app_window.settings) return;
    switch (key) {
    case APP_KEY_LEFT: case APP_KEY_UP: case APP_KEY_DOWN: case APP_KEY_RIGHT: panPart(key, shift); break;
    case APP_KEY_ZOOM_IN: case APP_KEY_PAGE_UP: view_input_zoom(1); break;
    case APP_KEY_ZOOM_OUT: case APP_KEY_PAGE_DOWN: view_input_zoom(-1); break;
    case APP_KEY_HOME: view_input_back_to_vehicle(); break;
    case APP_KEY_FULL_SCREEN: app_command(MENU_FULL_SCREEN); break;
    case APP_KEY_ESCAPE:
        if (app_ruler.on) ruler_end();   // Measure ends first
        else if (app_window.fullScreen) app_command(MENU_FULL_SCREEN);
        break;
    case APP_KEY_MEASURE: app_command(MENU_MEASURE); break;
    case APP_KEY_BACKSPACE: ruler_remove_last(); break;
    case APP_KEY_NIGHT: app_command(MENU_NIGHT_COLOURS); break;
    case APP_KEY_WAYPOINT_MARK: app_command(MENU_WAYPOINT_MARK); break;   // waypoints
    case APP_KEY_WAYPOINT_LIST: app_command(MENU_WAYPOINT_LIST); break;
    case APP_KEY_GO_TO: app_command(MENU_GO_TO_POINTER); break;
    case APP_KEY_COURSE_UP: app_command(MENU_COURSE_UP); break;   // course-up
    default: break;
    }
}

void app_command(int id) { app_run_command(id); }

void app_size(int clientWidth, int clientHeight) {
    app_window.uiScale = app_frame_scale();
    map_view.clientWidth = clientWidth;
    map_view.clientHeight = clientHeight;
    app_pane_from_client();
    if (pane_placeholder_shown()) pane_placeholder_show();   // the neutral picture fills the pane too
    platform_invalidate(1);
    display_bitmap_rebuild(map_view);
}

void app_moved() { nav_big_maps_swap(); }

void app_window_placed(int x, int y, int width, int height, int maximised, int fullScreen) {
    auto& p = app_window.placed;
    p.known = 1;
    app_window.placedPosition = 1;
    // Full screen the toolkit reports the window as not maximised; leaving
    // it goes back to what the window was before, and so does the next
    // start: keep that.
    if (fullScreen) return;
    p.maximised = maximised;
    // Maximised the window's own size is the one to come back to: keep it.
    if (maximised) return;
    p.x = x;
    p.y = y;
    p.width = width;
    p.height = height;
}
