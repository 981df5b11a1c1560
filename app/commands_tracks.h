// Gps > Open Track... and Gps > Close Tracks: GPX files over the map.
#pragma once

extern const char OPEN_TRACK_FILTERS[];

void command_open_track();
void command_close_tracks();
