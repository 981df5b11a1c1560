// GPX 1.0 and 1.1 input: tracks (one line per segment), routes and
// waypoints. One pass over the text that never reads past its end, with no
// validation beyond what the drawing needs: elements it does not know are
// passed over, namespace prefixes are ignored (gpxtpx:speed is speed).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "settings/gpx_writer.h"

struct GpxLine {
    std::vector<GpxPoint> points;
    int route;                         // 1 for a <rte>, 0 for a <trkseg>
};

struct GpxWaypoint {
    double lat, lon;
    std::string name;
};

struct GpxData {
    std::vector<GpxLine> lines;
    std::vector<GpxWaypoint> waypoints;
};

// 1 when the text holds a <gpx> element (its points, routes and waypoints
// are added to out; points without a usable lat/lon are dropped), else 0.
int gpx_read_text(const char* text, size_t size, GpxData* out);
int gpx_read_file(const char* path, GpxData* out);

// Points of all lines, and the great-circle length of all lines in metres.
size_t gpx_point_count(const GpxData& data);
double gpx_length_metres(const GpxData& data);
