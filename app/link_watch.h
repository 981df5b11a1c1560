// Watches the link for a device that went away and came back, from the
// window timer: says so once in the title (and in the monitor's message
// line) and ages the fix as the silent-receiver watchdog does. Main thread.
#pragma once

struct AppSettings;

void link_watch_tick(AppSettings* s);
