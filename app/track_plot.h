// Placing positions on the displayed sheet, the track-log line of each
// marker move, and the past positions drawn under the marker: the logged
// track (Plot=Y) and the trail of Options > Track.
#pragma once

struct AppSettings;
struct MarkSurface;

// Pixel of (lat, lon) on the displayed image by ll2lcc and the held
// extents. 1 when it falls inside the image; 0 outside, for a position the
// projection cannot place, or without a usable extent.
int track_place(double lat, double lon, int* px, int* py);

// The marker moved to a new pixel: one "%f %f - %s" line when the fix time
// is newer than the last logged one.
void track_log_point(AppSettings* s, double lat, double lon);

// The trail: positions the marker took while Track was on, kept in degrees
// so they show on every sheet they fall on.
void track_trail_add(double lat, double lon);
int  track_trail_size();
void track_trail_clear();

// Every two-number line of the track log when Plot is set, then the trail,
// as small dots (the extents must be held).
void track_plot_draw(const AppSettings* s, const MarkSurface& to);
