// Placing positions on the displayed sheet, the track-log line of each
// marker move, and the plot of the logged track.
#pragma once

struct AppSettings;

// Pixel of (lat, lon) on the displayed image by ll2lcc and the held
// extents. 1 when it falls inside the image; 0 outside, for a position the
// projection cannot place, or without a usable extent.
int track_place(double lat, double lon, int* px, int* py);

// The marker moved to a new pixel: one "%f %f - %s" line when the fix time
// is newer than the last logged one.
void track_log_point(AppSettings* s, double lat, double lon);

// Every two-number line of the track log as a marker without cross-hair.
void track_plot_draw(const AppSettings* s);
