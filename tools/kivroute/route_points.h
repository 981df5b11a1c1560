// kivroute's text output: the totals line, the instructions, and every point
// of the line for the window and the map server.
#pragma once
#include <string>

#include "tools/kivroute/route_engine.h"

// "distance_m<TAB>time_s\n" of the whole route.
std::string route_totals_line(const RouteAnswer& route);
// One instruction a line: its distance from the start, a tab, the text.
std::string route_instruction_lines(const RouteAnswer& route);
// Every point a line: lat, lon, distance_m, time_s, turn_degrees,
// bearing_degrees, street, instruction, tab-separated (tabs and newlines in
// names become spaces).
std::string route_point_lines(const RouteAnswer& route);
