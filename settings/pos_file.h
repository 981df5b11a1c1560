// kiv_pos.txt: the last known position, the start position of the next run.
// Two lines, latitude then longitude, "N 45 25 00" style; DDMM.SS
// ("N 4525.30") is read as well.
#pragma once

struct ProgramSettings;

#define KIV_POS_FILE "kiv_pos.txt"

// Degrees of one line: "%c %d %d %d" (degrees, minutes, seconds), else
// "%c %lf" as DDMM.SS, else 0. letter gets the first character (0 for an
// empty line). Values that are not finite or beyond 180 degrees give 0.
double settings_parse_position_line(const char* line, char* letter);

// Start position from the file (N 45 25 00, W 75 42 00 without it; a missing
// line keeps its default). 'S' negates the latitude, 'W' the longitude.
// A latitude beyond 90 degrees reads as 0.
void settings_read_start_position(ProgramSettings* p);

// Whole degrees, minutes and seconds of a non-negative angle, truncated.
// A value a hair below a whole second counts as that second, so a position
// written from a float never loses a degree or a minute to rounding.
void settings_dms_split(double degrees, int* whole, int* minutes, int* seconds);

// Rewrites the file: two lines "%c %3d %02d %02d\n". 1 when written; 0 when
// not (the old file stays).
int settings_write_pos(double latitude, double longitude);
