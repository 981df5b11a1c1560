// Route > Directions: the manoeuvres of the road route in a list (distance
// from the start, the turn, the street); a click on a line shows that point.
#pragma once
#include <string>
#include <vector>

// The state of PLATFORM_DIALOG_ROUTE_DIRECTIONS.
struct RoadDirectionsDialog {
    std::vector<std::string> lines;    // "distance\tturn and instruction\tstreet"
    int chosen = -1;                   // the line clicked, -1 none
    int result = 0;
};
