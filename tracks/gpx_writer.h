// GPX 1.1 output: the text of one track point, and a recording file that is
// valid GPX after every point, so a crash or a kill -9 leaves all whole
// points readable.
#pragma once
#include <sys/types.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum { GPX_TIME_UNKNOWN = INT64_MIN };

// One point; NaN (or -1 for the counts, GPX_TIME_UNKNOWN for the time)
// leaves a field out. speed in m/s, course in degrees, fix 2 or 3 ("2d",
// "3d"; anything else is left out).
struct GpxPoint {
    double lat, lon, ele, speed, course, hdop;
    int64_t time;                      // seconds since 1970, UTC
    int fix, sat;
};

// A point with only a position (every other field unknown).
GpxPoint gpx_point(double lat, double lon);

// A <wpt>: texts UTF-8, cut to 255 bytes by the reader; empty, NaN or
// GPX_TIME_UNKNOWN leave a field out.
struct GpxWaypoint {
    double lat, lon;
    std::string name;
    int64_t time = GPX_TIME_UNKNOWN;
    double ele = NAN;
    std::string sym, cmt;
};

// A whole GPX 1.1 document of these waypoints, in the schema's order of
// fields, for a file written in one piece (waypoints outside the earth are
// left out).
std::string gpx_waypoints_document(const std::vector<GpxWaypoint>& waypoints);

// Seconds since 1970 of a "YYYY/MM/DD HH:MM:SS" or ISO 8601
// "YYYY-MM-DDTHH:MM:SS[.fff][Z|+hh:mm|-hh:mm]" text (an offset is taken
// off: the result is UTC); GPX_TIME_UNKNOWN when it is neither.
int64_t gpx_time_from_text(const char* text);

// The document up to the first segment's opening, the closing tags, and one
// "<trkpt ...>...</trkpt>" line. Each returns the length written (cut texts
// are never written: 0 when out is too small).
size_t gpx_format_header(char* out, size_t size, const char* trackName);
extern const char GPX_CLOSING[];       // "</trkseg></trk></gpx>\n"
extern const char GPX_NEW_SEGMENT[];   // "</trkseg><trkseg>\n"
size_t gpx_format_point(char* out, size_t size, const GpxPoint* p);
// text appended to out as XML character data (control characters left out).
void gpx_append_escaped(std::string& out, const char* text);

// A recording file. Each point goes in with the closing tags behind it,
// written over the previous closing tags; no write crosses a 512-byte
// sector boundary, so a killed process leaves either the old or the new
// document, and so does a power cut while sync is on (a drive writes a
// sector whole).
struct GpxWriter {
    int fd;                            // -1 when closed
    off_t tail;                        // where the closing tags start
    off_t end;                         // file size
    int newSegment;                    // the next point opens a new <trkseg>
    int points;                        // written to this file
    // Each write is on the disk (fdatasync) before the next one starts and
    // before a point counts as written: a power cut loses at most the point
    // being written and never leaves the steps of a move out of order.
    int sync = 0;
    int error = 0;                     // errno of the last failure
};

// Creates path (fails when it exists) with an empty track named trackName,
// synced before it appears when sync is 1. 1 on success; 0 with w->error set.
int  gpx_writer_open(GpxWriter* w, const char* path, const char* trackName, int sync = 0);
// 1 when the point is in the file (and on the disk with sync); 0 with
// w->error set (EINVAL for a point without a usable position).
int  gpx_writer_point(GpxWriter* w, const GpxPoint* p);
// The next point starts a new segment (fix lost, link reconnected).
void gpx_writer_break(GpxWriter* w);
// 1 when the file closed cleanly (0 with w->error set).
int  gpx_writer_close(GpxWriter* w);

// "FOLDER/kiv-YYYYMMDD-HHMMSS.gpx" for a time (seconds since 1970, UTC);
// with copy above 0 "FOLDER/kiv-YYYYMMDD-HHMMSS-copy.gpx", the name taken
// when one of that second exists already.
int gpx_file_name(char* out, size_t size, const char* folder, int64_t time, int copy = 0);
