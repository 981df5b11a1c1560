// One answer of a search for a place by name: a town, a street, a lake, a
// peak, a waypoint... with where it was found, so the user can tell two
// "Main Street"s apart.
#pragma once
#include <string>

struct PlaceMatch {
    std::string name;                  // UTF-8
    std::string kind;                  // "town", "street", "water", "peak", "poi", "station", "waypoint"...
    std::string source;                // the import, GPX file or "waypoints.gpx" it came from
    double lat = 0, lon = 0;           // degrees, WGS84
    double rank = 0;                   // lower is better, as the finder ordered it
};
