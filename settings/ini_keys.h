// The kiv_ini.txt keys of the per-window record, each read by its own pass.
#pragma once

struct AppSettings;

// Hair=, Dash=, Maps=, File= (with the track log scan), Track=, Plot=,
// Grid=, Rose=, Base=, in that order. Absent keys leave the record as it
// is. Path keys (Maps=, File=, Com<n>=, Gpx=) are taken whole, blanks
// inside kept and a leading "~" expanded; one too long is refused, said.
void settings_read_display_keys(AppSettings* s);

// Linux additions: Com<n>= (n 1..9) device paths, Server= and Probe= URLs,
// Listen= (remote server address), the Wms*= and WmsAerial*= sources, Gpx=,
// GpxInterval= (seconds between recorded points, default 1), LinkSilence= (seconds),
// the Tiles*= and TilesAerial*= sources, UserAgent=, MaxAge= (days) and
// ArrivalRadius= (metres, default 50).
// RouteOff= (metres from a road route before it is left, default 50).
void settings_read_linux_keys(AppSettings* s);

// Options > Track into kiv_ini.txt (Track=Y or N, the file replaced
// atomically), so recording resumes after a restart or a crash. 1 when saved.
int settings_save_track(int on);

// Dash= value to speedUnit: 'K', 'S', 'M' or 0.
char settings_speed_unit(const char* value);

// Base= value: "http://" dropped, host cut at ':' with the port after it
// (0 without one); host cut to 63 characters. Sets baseEnabled; a port
// outside 0..65535 refuses the setting (nothing enabled).
void settings_parse_base(AppSettings* s, const char* value);
