#include "app/link_watch.h"

#include <cstdio>

#include "app/app_state.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/serial_link.h"
#include "settings/app_settings.h"

void link_watch_tick(AppSettings* s) {
    int lost = s && s->connected.load() == 1 && serial_link_lost(s);
    if (lost == app_window.linkLost) return;
    app_window.linkLost = lost;
    char path[SETTINGS_PATH_MAX];
    serial_link_path(s, path, sizeof path);
    char message[SETTINGS_PATH_MAX + 64];
    if (lost) {
        snprintf(app_window.linkNote, sizeof app_window.linkNote, "GPS lost, reconnecting");
        snprintf(message, sizeof message, "GPS link lost: %s is gone; trying again every few seconds", path);
        gps_clear_fix_mode();
    } else {
        app_window.linkNote[0] = '\0';
        if (!path[0]) {
            // Disconnect ended the search: the note goes, nothing came back.
            platform_invalidate(0);
            return;
        }
        snprintf(message, sizeof message, "GPS link back: %s", path);
    }
    gps_set_last_message(message);
    printf("%s\n", message);
    fflush(stdout);
    platform_invalidate(0);
}
