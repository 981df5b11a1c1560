// Following a road route with the fixes: where on the line the vehicle is,
// the next manoeuvre and what is left to the destination, and whether it
// has left the route, so the window asks for a new one. Pure: a list of
// fixes drives it the same way in a test as the receiver does.
#pragma once
#include <cstdint>
#include <vector>

#include "nav/road_route.h"

enum {
    ROAD_OFF_METRES = 50,              // farther than this from the line... (RouteOff= in kiv_ini.txt)
    ROAD_OFF_SECONDS = 5,              // ...for this long is off the route
};

struct RoadFix {
    double lat, lon;
    double speed;                      // m/s
    double course;                     // degrees from true north; NaN unknown
    int64_t at;                        // monotonic seconds
};

// The point of the line nearest (lat, lon): on the stretch from
// points[stretch] to points[stretch + 1], off metres from it, along metres
// from the start.
struct RoadPlace {
    int stretch = -1;                  // -1: no line
    double off = 0, along = 0;
    double bearing = 0;                // of that stretch, degrees from north
};
RoadPlace road_place(const RoadRoute& route, double lat, double lon);

// 1 when the fixes (oldest first) say the vehicle has left the route: every
// one of the last `seconds` (and they go back that far) lies farther than
// offMetres from the line, or goes against it (moving, its course more than
// 120 degrees from the stretch's).
int road_left(const RoadRoute& route, const std::vector<RoadFix>& fixes, double offMetres, int seconds);

struct RoadProgress {
    int next = -1;                     // the point of the next manoeuvre; -1 none left
    double toNext = 0;                 // metres to it along the line
    double toEnd = 0, secondsToEnd = 0;
    int arrived = 0;                   // within arrivalMetres of the last point
};
RoadProgress road_progress(const RoadRoute& route, double lat, double lon, double arrivalMetres);
