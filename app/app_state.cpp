#include "app/app_state.h"

#include <algorithm>
#include <cstdlib>

#include "app/pane_notice.h"
#include "app/stale_fix.h"
#include "app/view_input.h"
#include "app/view_pane.h"
#include "app/view_zoom_auto.h"
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
    app_pane_from_client();
}

void app_pane_from_client() {
    MapView& v = map_view;
    if (v.clientWidth <= 0 || v.clientHeight <= 0) return;
    v.paneWidth = std::max(1, v.clientWidth - 2 * APP_PANE_X);
    v.paneHeight = std::max(1, v.clientHeight - APP_PANE_Y - 2);
}

void app_window_reset() {
    if (!app_window.frame.borrowed) free(app_window.frame.px);
    pane_notice_reset();
    stale_fix_reset();
    view_pane_reset();
    view_input_reset();
    auto_zoom_reset();
    app_window = AppWindow{};
    app_window.mapAreaWidth = APP_SMALL_MAP_W;
    app_window.mapAreaHeight = APP_SMALL_MAP_H;
}
