// The Online command's probe on a thread of its own, so a slow or silent
// site never freezes the window; the answer is acted on at the next timer
// tick on the main thread.
#pragma once

struct AppSettings;

// Starts the probe of the Online command; 0 when one is still running.
int  online_probe_begin(const AppSettings* s);
// 1 while the probe runs or its answer waits for the timer.
int  online_probe_pending();
// Timer: when the probe has answered, online (menu states included) or the
// warning "No Internet connection".
void online_probe_poll(AppSettings* s);
// Exit: waits at most a second, then leaves the probe to end with the
// process; its file is removed either way.
void online_probe_stop();
