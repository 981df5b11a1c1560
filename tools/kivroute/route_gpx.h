// A route as GPX 1.1: a <rte> of the points with an instruction, each with
// the instruction as its <desc>, and a <trk> of the whole line.
#pragma once
#include <string>

#include "tools/kivroute/route_engine.h"

std::string route_gpx_text(const RouteAnswer& route, const std::string& name);
// Writes the text beside path and renames it over path, so a reader never
// sees half a file. Empty, or the reason it could not.
std::string route_gpx_write(const std::string& path, const std::string& text);
