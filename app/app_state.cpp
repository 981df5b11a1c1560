#include "app/app_state.h"

#include <cstdlib>

#include "app/pane_notice.h"
#include "app/stale_fix.h"
#include "maps/map_view.h"

AppWindow app_window = [] {
    AppWindow w{};
    w.mapAreaWidth = APP_SMALL_MAP_W;
    w.mapAreaHeight = APP_SMALL_MAP_H;
    return w;
}();

void app_set_map_area(int bigMaps) {
    app_window.mapAreaWidth = bigMaps ? APP_BIG_MAP_W : APP_SMALL_MAP_W;
    app_window.mapAreaHeight = bigMaps ? APP_BIG_MAP_H : APP_SMALL_MAP_H;
    map_view.paneWidth = app_window.mapAreaWidth;
    map_view.paneHeight = app_window.mapAreaHeight;
}

void app_window_reset() {
    free(app_window.frame.rgb);
    pane_notice_reset();
    stale_fix_reset();
    app_window = AppWindow{};
    app_window.mapAreaWidth = APP_SMALL_MAP_W;
    app_window.mapAreaHeight = APP_SMALL_MAP_H;
}
