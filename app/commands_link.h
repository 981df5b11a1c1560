// Menu commands about where positions and sheets come from: Online,
// Offline and the seven items of the "&Device" menu. Main thread.
#pragma once

struct AppSettings;

// Probes the map service into a file of this process's own in the working
// folder, removed again whatever the result; online, or "No Internet
// connection".
void command_online(AppSettings* s);
void command_offline(AppSettings* s);
// Online greyed and Offline enabled when online, and the other way round.
void online_menus(int online);
// deviceType 1..7: line settings of the device, menu greying, kiv_dev.txt.
// An open link is closed and the new device's source opened in its place;
// REMOTE opens its server at once.
void command_select_device(AppSettings* s, int deviceType);

// serial_open; when it fails, "No GPS connected" with what went wrong and
// what to do about it. Returns serial_open's result.
int link_open_or_warn(AppSettings* s);
// serial_close without waiting on a paint the closing thread would have to
// do; Connect and Disconnect follow. Returns serial_close's result.
int link_close(AppSettings* s);

// The probe file of this process: "tcpip.<pid>.tmp".
void online_probe_file(char* out, int size);
