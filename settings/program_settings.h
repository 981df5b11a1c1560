// Readers of the program-wide settings (ProgramSettings, app_settings.h).
// The time zone stays here: the application hands zoneHours to the fix
// record (gps_set_zone) itself, since this library sits below it.
#pragma once

struct ProgramSettings;

// Zoom=%c, upper-cased; 0 when absent. The sheet code may call this on its
// own first use and gets the same letter.
char settings_read_zoom_letter();

// Zone=%d %s: zoneName "GMT" first; the hours and, when a word follows, the
// name (cut to 7 characters). Non-zero hours with the name still "GMT" give
// "GMT%+d". Hours beyond +-23 are ignored (zone stays 0, "GMT").
void settings_read_zone(ProgramSettings* p);

// Init=%d: the start zoom level; values outside 0..4 keep the default.
void settings_read_init(ProgramSettings* p);

// Zoom=, Zone=, Init= and kiv_pos.txt, in that order (later in window creation).
void settings_read_program_wide(ProgramSettings* p);

// The defaults: no zoom letter, GMT, level 2, start at N 45 25 00, W 75 42 00.
void settings_program_defaults(ProgramSettings* p);
