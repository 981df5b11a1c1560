// A route along roads as the router answers it (kivroute --points, or the
// map server's /route): its totals, then every point of the line with its
// distance and time from the start, the turn made there, the bearing and
// street of the next stretch and, at a manoeuvre, its instruction. Pure.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct RoadPoint {
    double lat, lon;                   // degrees, WGS84
    double metres, seconds;            // from the start
    int turn;                          // degrees at this point, negative left, positive right
    int bearing;                       // degrees from north of the stretch after it
    std::string street;                // of the stretch after it, may be empty
    std::string instruction;           // empty on the points that only shape the line
};

struct RoadRoute {
    double metres = 0, seconds = 0;    // the whole route
    std::vector<RoadPoint> points;
};

// The router's reply text. 1 with *out filled; 0 with the reason in *why
// (an empty or cut reply, a line that is not a point).
int road_route_parse(const std::string& text, RoadRoute* out, std::string* why);
