#include "app/commands_link.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/online_probe.h"
#include "app/pane_notice.h"
#include "net/connectivity.h"
#include "net/http_client.h"
#include "net/sockets.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "app/port_diagnostics.h"
#include "position/serial_link.h"
#include "position/sms.h"
#include "position/zodiac.h"
#include "settings/app_settings.h"
#include "settings/dev_file.h"
#include "settings/device_table.h"
#include "settings/menu_ids.h"

void online_probe_file(char* out, int size) {
    snprintf(out, static_cast<size_t>(size), "tcpip.%ld.tmp", static_cast<long>(getpid()));
}

void command_online(AppSettings* s) {
    // Off the main thread (app/online_probe.h); the file name is this
    // process's own, so another instance or the start-up probe never
    // shares it.
    platform_busy_cursor(1);
    online_probe_begin(s);
    platform_busy_cursor(0);
}

void online_menus(int online) {
    platform_menu_enable(MENU_ONLINE, online ? 0 : 1);
    platform_menu_enable(MENU_OFFLINE, online ? 1 : 0);
}

void command_offline(AppSettings* s) {
    platform_busy_cursor(1);
    s->online = 0;
    online_menus(0);
    platform_busy_cursor(0);
}

namespace {

// Connect and Disconnect follow the link.
void link_menus(int connected) {
    platform_menu_enable(MENU_CONNECT, connected ? 0 : 1);
    platform_menu_enable(MENU_DISCONNECT, connected ? 1 : 0);
}

}  // namespace

int link_close(AppSettings* s) {
    const int wasOpen = s->connected.load() == 1;
    // A reader waiting for a paint must not hold up the close.
    platform_set_repaint_stop(1);
    int closed = serial_close(s);
    platform_set_repaint_stop(0);
    if (wasOpen) link_menus(0);
    return closed;
}

int link_open_or_warn(AppSettings* s) {
    platform_busy_cursor(1);
    int opened = serial_open(s);
    platform_busy_cursor(0);
    if (opened) {
        link_menus(1);
        pane_notice_receiver_connected();
    }
    char path[SETTINGS_PATH_MAX], advice[1536], text[1700];
    int error = serial_open_failure(path, sizeof path);
    if (opened && error != EBUSY) return 1;
    port_describe_failure(error, path, "/proc", "/dev", advice, sizeof advice);
    // A busy port is taken as soon as its holder lets go of it.
    snprintf(text, sizeof text, "No GPS connected%s%s%s", advice[0] ? "\n\n" : "", advice,
             opened ? "\n\nKiv connects by itself once the port is free." : "");
    platform_warn(text);
    return opened;
}

void command_select_device(AppSettings* s, int deviceType) {
    const int reopen = s->connected.load() == 1 && deviceType != s->deviceType;
    if (reopen) {
        // The old source stops before the device changes: its reader must
        // not hand the new decoder the old device's bytes.
        link_close(s);
        gps_clear_fix_mode();
    }
    if (!settings_select_device(s, deviceType)) return;
    for (int d = DEVICE_FIRST; d <= DEVICE_LAST; d++) platform_menu_enable(menu_device_item(d), d != deviceType);
    settings_write_dev(deviceType);
    if (reopen || deviceType == DEVICE_REMOTE) {
        if (deviceType == DEVICE_EARTHMATE) zodiac_reset();
        if (deviceType == DEVICE_SMS) sms_reset();
        link_open_or_warn(s);
    }
    platform_invalidate(0);
}
