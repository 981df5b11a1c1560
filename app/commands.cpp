#include "app/commands.h"

#include <cstdlib>

#include "app/app_state.h"
#include "maps/map_view.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/serial_link.h"
#include "position/sms.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"

namespace {

void connect(AppSettings* s) {
    platform_busy_cursor(1);
    if (!serial_open(s)) platform_warn("No GPS connected");
    if (s->deviceType == DEVICE_SMS) sms_reset();
    platform_busy_cursor(0);
}

void disconnect(AppSettings* s) {
    platform_busy_cursor(1);
    // A reader waiting for a paint must not hold up the close.
    platform_set_repaint_stop(1);
    serial_close(s);
    platform_set_repaint_stop(0);
    gps_clear_fix_mode();
    if (s->deviceType == DEVICE_SMS) sms_reset();
    platform_invalidate(0);
    platform_busy_cursor(0);
}

void exitProgram() {
    free(map_view.dibHeader);
    map_view.dibHeader = nullptr;
    map_view.dibBits = nullptr;
    platform_post_close();
}

void toggleAutoPan(AppSettings* s) {
    s->autoPan = !s->autoPan;
    platform_menu_check(MENU_AUTO_PAN, s->autoPan);
    platform_invalidate(0);
}

}  // namespace

void app_run_command(int id) {
    AppSettings* s = app_window.settings;
    if (!s || id < MENU_FIRST || id > MENU_LAST) return;
    switch (id) {
    case MENU_CONNECT: connect(s); break;
    case MENU_DISCONNECT: disconnect(s); break;
    case MENU_EXIT: exitProgram(); break;
    case MENU_AUTO_PAN: toggleAutoPan(s); break;
    default: break;
    }
}
