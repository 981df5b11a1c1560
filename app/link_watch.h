// Shows what the link says about itself, from the window timer: a device
// that went away, is not there yet or came back, a silent peer, gpsd's
// errors and gpsd without a receiver, once each in the title (and in the
// monitor's message line); a lost link ages the fix. Main thread.
#pragma once

struct AppSettings;

void link_watch_tick(AppSettings* s);
