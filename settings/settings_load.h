// Creating and filling the per-window settings record at window creation.
//
// settings_load does the loading; the application sets the menus after the
// record (app/menu_states.h), then, in this order: resets the Zodiac protocol state when
// deviceType is DEVICE_EARTHMATE, and opens the serial link when comPort is
// not 0 (warning "No GPS connected" when that fails). Later in window
// creation it reads the program-wide settings (program_settings.h) and
// hands program_settings.zoneMinutes to the fix record with gps_set_zone_minutes.
//
// The record is not tied to a window here: on Linux the reader thread asks
// for repaints through the platform layer, so no window identity is stored,
// and the serial link keeps its own descriptors (no overlapped events).
#pragma once

struct AppSettings;

// Defaults of an empty record: EarthMate on port 1 at 9600 baud, 8 data
// bits, no parity, one stop bit; auto pan and rose on; maps in "./Maps";
// no open device.
void settings_defaults(AppSettings* s);

// kiv_com.txt, the kiv_ini.txt keys (display keys, then the Linux ones and
// the remembered port lines) and kiv_dev.txt, in that order, into the
// record; then the line remembered for the port, if any (port_lines.h).
void settings_read_files(AppSettings* s);


// Allocates a zero-filled record, sets the defaults and reads the files. Returns 1 with *out set, or -1 (nothing allocated,
// *out null) when the record cannot be created.
int settings_load(AppSettings** out);

// Releases a record from settings_load. The link must be closed first (no
// reader thread left to join).
void settings_free(AppSettings* s);
