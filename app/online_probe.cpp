#include "app/online_probe.h"

#include <unistd.h>

#include "app/commands_link.h"
#include "net/connectivity.h"
#include "platform/platform.h"
#include "settings/app_settings.h"

namespace {

// The Online command waits for the probe's answer (main thread only).
int waiting = 0;

}  // namespace

int online_probe_begin(const AppSettings* s) {
    if (waiting) return 0;
    // A start-up probe still running answers for the command too.
    if (!connectivity_probe_running()) {
        char file[64];
        online_probe_file(file, sizeof file);
        if (!connectivity_probe_start(s, file)) return 0;
    }
    waiting = 1;
    return 1;
}

int online_probe_pending() { return waiting; }

void online_probe_poll(AppSettings* s) {
    int a = connectivity_probe_result();
    if (!waiting || a < 0) return;
    waiting = 0;
    // The tick's own connectivity_probe_poll may have gone online already:
    // the answer counts, not which of the two applied it.
    if (a != 1) {
        platform_warn("No Internet connection");
        return;
    }
    connectivity_probe_poll(s);
    online_menus(1);
}

void online_probe_stop() {
    // The transfer ends within a tenth of a second once cancelled and
    // removes its file itself.
    connectivity_probe_finish();
    waiting = 0;
    char file[64];
    online_probe_file(file, sizeof file);
    unlink(file);
}
