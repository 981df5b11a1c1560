// The GPX recording beside the track log: with Gpx=FOLDER set and Track on,
// a thread of its own takes each new fix from the fix record (one point per
// GpxInterval= seconds of fix time, default 1; 0 takes every fix) into
// FOLDER/kiv-YYYYMMDD-HHMMSS.gpx, one file per day and run, named after its
// first point ("-1", "-2" ... after it when that name is taken; FOLDER is
// made when missing). The sentences of one epoch are one fix. What the
// window shows or paints plays no part. A fix lost, silent for a while, or
// stepping back in time starts a new segment.
#pragma once
#include <cstddef>

struct AppSettings;

// Starts or stops the recorder to match s->track and s->gpxFolder (window
// created, Track toggled). The recorder keeps its own copy of the settings.
void gpx_recording_update(const AppSettings* s);
// The link reopened: the next point opens a new segment.
void gpx_recording_break();
// Stops and joins the recorder, closing its file (window destroyed; tests).
void gpx_recording_stop();
// Main thread: what failed since the last call ("cannot create FILE: why"),
// each failure once until recording works again. 1 when out holds one.
int  gpx_recording_take_failure(char* out, size_t size);
// The file the recorder writes now (valid GPX after every point), for
// Track Statistics: 1 with its path in out, 0 while none is open.
int  gpx_recording_file(char* out, size_t size);
// Points written, and looks at the fix record taken, since the recorder
// started (tests wait on them).
int  gpx_recording_points();
int  gpx_recording_looks();
