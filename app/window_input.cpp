// Mouse, keys, commands, size and position of the main window.
#include "app/app_state.h"
#include "app/commands.h"
#include "app/navigation.h"
#include "app/pane_notice.h"
#include "app/toolbar.h"
#include "app/window_events.h"
#include "maps/map_view.h"
#include "platform/platform.h"
#include "settings/app_settings.h"

void app_mouse_down(int button, int x, int y, int shift) {
    if (!app_window.settings) return;
    if (button == APP_BUTTON_RIGHT) {
        if (nav_in_pane(x, y)) nav_zoom_out();
        return;
    }
    if (button != APP_BUTTON_LEFT) return;
    switch (int hit = toolbar_hit(x, y)) {
    case TOOL_NONE:
        if (nav_in_pane(x, y)) nav_zoom_in(x, y);
        break;
    case TOOL_AUTO_PAN: nav_auto_pan_button(); break;
    case TOOL_WEST: nav_pan('W', shift); break;
    case TOOL_NORTH: nav_pan('N', shift); break;
    case TOOL_SOUTH: nav_pan('S', shift); break;
    case TOOL_EAST: nav_pan('E', shift); break;
    default: nav_level(hit - TOOL_LEVEL_0); break;
    }
}

void app_mouse_move(int x, int y) {
    toolbar_hover(x, y);
    nav_mouse_move(x, y);
}

void app_key_up(int key, int shift) {
    if (!app_window.settings) return;
    switch (key) {
    case APP_KEY_LEFT: nav_pan('W', shift); break;
    case APP_KEY_UP: nav_pan('N', shift); break;
    case APP_KEY_DOWN: nav_pan('S', shift); break;
    case APP_KEY_RIGHT: nav_pan('E', shift); break;
    default: break;
    }
}

void app_command(int id) { app_run_command(id); }

void app_size(int clientWidth, int clientHeight) {
    map_view.clientWidth = clientWidth;
    map_view.clientHeight = clientHeight;
    app_pane_from_client();
    if (pane_placeholder_shown()) pane_placeholder_show();   // the neutral picture fills the pane too
    platform_invalidate(1);
    buildDisplayBitmap(&map_view.dibHeader, &map_view.dibBits, map_view.pixels, map_view.imageWidth,
                       map_view.imageHeight);
}

void app_moved() { nav_big_maps_swap(); }
