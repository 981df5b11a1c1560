// The window timer: device polls, the base server step, the silent-receiver
// watchdog, then re-arming at 500 ms.
#include "app/app_state.h"
#include "app/download_area.h"
#include "app/gpx_recording.h"
#include "app/link_watch.h"
#include "app/online_probe.h"
#include "app/road_routing.h"
#include "app/sheet_fetching.h"
#include "app/stale_fix.h"
#include "app/view_pane.h"
#include "app/view_zoom.h"
#include "app/window_events.h"
#include "net/connectivity.h"
#include "net/net_worker.h"
#include "platform/platform.h"
#include "position/garmin.h"
#include "position/gps_fix.h"
#include "position/sms.h"
#include "settings/app_settings.h"

namespace {
constexpr int kSilentTicks = 120;
constexpr int kTickMs = 500;
}

void app_timer() {
    AppSettings* s = app_window.settings;
    if (!s) return;
    // The start-up probe thread only reports; going online (menu states
    // included) happens here on the main thread.
    connectivity_probe_poll(s);
    sheet_fetching_poll();
    online_probe_poll(s);
    download_area_poll();
    // Road routes: a finished request's answer.
    if (road_routing_poll()) platform_invalidate(0);

    if (s->deviceType == DEVICE_GARMIN) garmin_poll();
    if (s->deviceType == DEVICE_SMS) sms_poll();
    // Decided here in the timer's order, sent by the worker thread so a slow
    // base server never freezes the window.
    net_worker_tick(s);
    link_watch_tick(s);
    char failure[SETTINGS_PATH_MAX + 128];
    if (gpx_recording_take_failure(failure, sizeof failure)) platform_warn(failure);
    if (stale_fix_update(s)) platform_invalidate(0);
    if (s->connected && s->deviceType != DEVICE_REMOTE) {
        if (s->linkIdleTicks > kSilentTicks) {
            gps_clear_fix_mode();
            platform_invalidate(0);
        } else {
            s->linkIdleTicks++;
        }
    }
    // Zoom animation: a frame a tick while a zoom moves.
    int period = kTickMs;
    if (view_pane_zooming()) {
        period = VIEW_ZOOM_FRAME_MS;
        platform_invalidate(0);
    }
    app_window.timerPeriodMs = period;
    platform_set_timer(period);
}
