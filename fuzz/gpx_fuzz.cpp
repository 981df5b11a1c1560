// GPX reading on arbitrary bytes: the reader must stay inside the text and
// keep only points that can be drawn.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tracks/gpx_reader.h"

namespace {

bool drawable(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90 && std::fabs(lon) <= 180;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GpxData gpx;
    gpx_read_text(reinterpret_cast<const char*>(data), size, &gpx);
    size_t points = 0;
    for (const GpxLine& line : gpx.lines) {
        if (line.route != 0 && line.route != 1) abort();
        for (const GpxPoint& p : line.points)
            if (!drawable(p.lat, p.lon)) abort();
        points += line.points.size();
    }
    for (const GpxWaypoint& w : gpx.waypoints)
        if (!drawable(w.lat, w.lon) || w.name.size() > 258) abort();
    if (points != gpx_point_count(gpx)) abort();
    double metres = gpx_length_metres(gpx);
    if (!std::isfinite(metres) || metres < 0) abort();
    return 0;
}
