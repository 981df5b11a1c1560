// The GPX recording beside the track log: with Gpx=FOLDER set and Track on,
// every logged point also goes to FOLDER/kiv-YYYYMMDD-HHMMSS.gpx, one file
// per day and run, named after its first point. Main thread only.
#pragma once

struct AppSettings;

// The marker moved to a new pixel: the current fix as a point, when its time
// is newer than the last recorded one.
void gpx_recording_point(const AppSettings* s, double lat, double lon);
// The fix was lost or the link reopened: the next point opens a new segment.
void gpx_recording_break();
// Closes the file (window destroyed; tests).
void gpx_recording_stop();
