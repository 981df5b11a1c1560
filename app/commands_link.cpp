#include "app/commands_link.h"

#include <unistd.h>

#include <cstdio>

#include "net/connectivity.h"
#include "net/http_client.h"
#include "net/sockets.h"
#include "platform/platform.h"
#include "position/serial_link.h"
#include "settings/app_settings.h"
#include "settings/dev_file.h"
#include "settings/device_table.h"
#include "settings/menu_ids.h"

void online_probe_file(char* out, int size) {
    snprintf(out, static_cast<size_t>(size), "tcpip.%ld.tmp", static_cast<long>(getpid()));
}

void command_online(AppSettings* s) {
    platform_busy_cursor(1);
    // A name of this process's own: another instance in the same folder, or
    // the start-up probe, never shares the file.
    char file[64], url[NET_NAME_SIZE];
    online_probe_file(file, sizeof file);
    probe_url(s, url, sizeof url);
    int result = connectivity_probe_url(url, file, nullptr);
    if (result == 1)
        connectivity_go_online(s);
    else
        platform_warn("No Internet connection");
    platform_busy_cursor(0);
}

void command_offline(AppSettings* s) {
    platform_busy_cursor(1);
    s->online = 0;
    platform_menu_enable(MENU_ONLINE, 1);
    platform_menu_enable(MENU_OFFLINE, 0);
    platform_busy_cursor(0);
}

void command_select_device(AppSettings* s, int deviceType) {
    if (!settings_select_device(s, deviceType)) return;
    for (int d = DEVICE_FIRST; d <= DEVICE_LAST; d++) platform_menu_enable(menu_device_item(d), d != deviceType);
    settings_write_dev(deviceType);
    if (deviceType == DEVICE_REMOTE && !serial_open(s)) platform_warn("No GPS connected");
    platform_invalidate(0);
}
