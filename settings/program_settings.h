// Readers of the program-wide settings (ProgramSettings, app_settings.h).
// The time zone stays here: the application hands zoneMinutes to the fix
// record (gps_set_zone_minutes) itself, since this library sits below it.
#pragma once

struct ProgramSettings;

// Zoom=%c, upper-cased; 0 when absent. The sheet code may call this on its
// own first use and gets the same letter.
char settings_read_zoom_letter();

// Zone=%d %s or Zone=%d:%02d %s (+5:30, -3:30): zoneName "GMT" first; the
// offset and, when a word follows, the name (cut to 9 characters). A
// non-zero offset with the name still "GMT" gives "GMT%+d" or "GMT%+d:%02d".
// Hours beyond +-23 or minutes beyond 59 are ignored (zone stays 0, "GMT").
void settings_read_zone(ProgramSettings* p);

// Init=%d: the start zoom level; values outside 0..4 keep the default.
void settings_read_init(ProgramSettings* p);

// Zoom=, Zone=, Init= and kiv_pos.txt, in that order (later in window creation).
void settings_read_program_wide(ProgramSettings* p);

// The defaults: no zoom letter, GMT, level 2, start at N 45 25 00, W 75 42 00.
void settings_program_defaults(ProgramSettings* p);
