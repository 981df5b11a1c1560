// GPX 1.0 and 1.1 input: tracks (one line per segment), routes and
// waypoints, parsed by expat. A point's fields are its own child elements in
// the GPX namespace (or none); inside <extensions> only the speed and course
// of the common TrackPointExtension count, so another schema's elements never
// replace a point's own. Entity declarations are refused (no entity
// expansion attack gets through), any encoding expat knows is read.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "tracks/gpx_writer.h"

struct GpxLine {
    std::vector<GpxPoint> points;
    int route;                         // 1 for a <rte>, 0 for a <trkseg>
    std::vector<std::string> names;    // a route's: one per point ("" unnamed); a track's: none
};

struct GpxData {
    std::vector<GpxLine> lines;
    std::vector<GpxWaypoint> waypoints;
    size_t outside = 0;                // points dropped for lying outside the earth
};

// 1 when the text is a well-formed document with a <gpx> root: its points,
// routes and waypoints are added to out (points whose lat/lon lie outside
// the earth are dropped, and counted in out->outside). 0 otherwise, out untouched and, when error is
// given, why and where: "line 3: not well-formed (invalid token)",
// "line 2: lat \"45,40\" is not a number", "the root element is <kml>, not <gpx>".
int gpx_read_text(const char* text, size_t size, GpxData* out, std::string* error = nullptr);
// The same for a file; a file that cannot be read says so in error.
int gpx_read_file(const char* path, GpxData* out, std::string* error = nullptr);

// Points of all lines, and the great-circle length of all lines in metres.
size_t gpx_point_count(const GpxData& data);
double gpx_length_metres(const GpxData& data);
