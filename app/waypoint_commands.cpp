#include "app/waypoint_commands.h"

void waypoint_mark(double, double, const char*) {}
void waypoint_search(const char*, std::vector<PlaceMatch>*) {}
