// A road route as GPX 1.1: a <rte> of its manoeuvres, each instruction its
// point's description, and a <trk> of the whole line, so a GPS unit can
// follow the turns and a map (or kivsheet fetch-route) can draw the line.
#pragma once
#include <string>

#include "nav/road_route.h"

std::string road_route_gpx(const RoadRoute& route, const std::string& name);
