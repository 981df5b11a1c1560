// The Online command's probe, on the one probe thread of net/connectivity.h
// (a start-up probe still running answers for it), so a slow or silent site
// never freezes the window; the answer is acted on at the next timer tick
// on the main thread.
#pragma once

struct AppSettings;

// Starts the probe of the Online command; 0 when one is still running.
int  online_probe_begin(const AppSettings* s);
// 1 while the probe runs or its answer waits for the timer.
int  online_probe_pending();
// Timer: when the probe has answered, online (menu states included) or the
// warning "No Internet connection".
void online_probe_poll(AppSettings* s);
// Exit: cuts the probe short (within a tenth of a second) and joins it;
// its file is removed.
void online_probe_stop();
