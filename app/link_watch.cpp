#include "app/link_watch.h"

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/port_diagnostics.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "position/serial_link.h"
#include "settings/app_settings.h"

void link_watch_tick(AppSettings* s) {
    int lost = 0, openError = 0;
    char title[sizeof app_window.linkNote];
    char message[SETTINGS_PATH_MAX + 200];
    unsigned note = s && s->connected.load() == 1
                        ? serial_link_status(s, &lost, title, sizeof title, message, sizeof message, &openError)
                        : 0;
    if (note == app_window.linkNoteSeq) return;
    app_window.linkNoteSeq = note;
    if (lost && !app_window.linkLost) gps_clear_fix_mode();
    app_window.linkLost = lost;
    // Without a link (Disconnect) the note goes and nothing is said.
    snprintf(app_window.linkNote, sizeof app_window.linkNote, "%s", note ? title : "");
    if (note && openError) {
        // The device is looked for again: the advice's first line says why it is not there.
        char advice[1024];
        port_describe_failure(openError, message, "/proc", "/dev", advice, sizeof advice);
        advice[strcspn(advice, "\n")] = '\0';
        snprintf(message, sizeof message, "GPS link: %.400s Trying again every few seconds.", advice);
    }
    if (note && message[0]) {
        gps_set_last_message(message);
        printf("%s\n", message);
        fflush(stdout);
    }
    platform_invalidate(0);
}
