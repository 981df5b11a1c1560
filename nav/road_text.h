// A road route's words on the navigation strip and in the directions: the
// turn as an arrow, the next manoeuvre ("in 300 m turn left onto Wood
// Street"), what is left to the destination.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "nav/road_following.h"

// An arrow for a turn of that many degrees (negative left): ahead, bear,
// turn, sharp, back.
const char* road_turn_arrow(int turn);

// The strip's items. Without a position (progress null): the route's whole
// distance and time. Driving: the next manoeuvre with its arrow and
// distance, the distance and time left and the ETA (nowUtc + the router's
// time left, in the local time of zoneMinutes). speedUnit 'M': miles.
std::vector<std::string> road_strip_items(const RoadRoute& route, const RoadProgress* progress, char speedUnit,
                                          int zoneMinutes, int64_t nowUtc);

// One line of the directions a manoeuvre: distance from the start, the
// arrow and the instruction, the street, tab-separated.
std::vector<std::string> road_direction_lines(const RoadRoute& route, char speedUnit, std::vector<int>* pointOfLine);
