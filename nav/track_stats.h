// The figures of a recorded track: length, duration, time moving, average
// and top speed, climb and descent, and its profile (elevation and speed
// against distance). Pure functions over the points a GPX file or the
// recording holds; the dialog and kivtrack print the same numbers.
#pragma once
#include <cstdint>
#include <vector>

#include "tracks/gpx_reader.h"

// Slower than this between two points counts as stopped: a receiver
// standing still wanders by a metre or two every few seconds.
constexpr double TRACK_STOPPED_MPS = 0.5;
// A change of elevation counts once it has moved this far from the last
// counted one, so the few metres of noise a GPS height carries do not add
// up over a long flat drive.
constexpr double TRACK_CLIMB_STEP_M = 5.0;
// Top speed is the fastest stretch of at least this many seconds, so one
// position jumping tens of metres is no top speed.
constexpr double TRACK_TOP_SPEED_SECONDS = 5.0;

struct TrackStats {
    int points;
    double metres;                     // geodesic, along each segment (no jump between segments)
    // NaN for each when the points carry no times (or elevations; the
    // top speed also when no stretch lasts long enough).
    double seconds;                    // first point's time to last's
    double movingSeconds;              // between points at TRACK_STOPPED_MPS or faster
    double averageMps;                 // metres covered while moving over the time moving
    double topMps;
    double ascentMetres, descentMetres;
};

struct TrackProfilePoint {
    double metres;                     // along the track from its first point
    double ele;                        // NaN when unknown
    double mps;                        // speed arriving at the point; NaN when unknown
    double lat, lon;
};

// The lines counted: the tracks' segments, or a file's routes when it holds
// no track.
std::vector<const GpxLine*> track_stats_lines(const GpxData& data);

TrackStats track_stats(const GpxData& data);
// One entry per point of the lines counted, in order.
std::vector<TrackProfilePoint> track_profile(const GpxData& data);

// The entry nearest metres along the profile (-1 when it is empty).
int track_profile_at(const std::vector<TrackProfilePoint>& profile, double metres);
