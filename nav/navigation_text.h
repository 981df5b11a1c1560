// The navigation strip's figures as the user reads them: distances in
// metres and kilometres, or feet and miles (Dash= in miles), speed in the
// unit of the speed read-out, the ETA in the local time of Zone=.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "nav/navigation_state.h"

// "850 m", "12.3 km", "240 km"; imperial "900 ft", "2.4 mi", "150 mi".
void nav_format_distance(char* out, size_t size, double metres, int imperial);

// "12 min", "1 h 05", ">99 h"; "--" when not finite.
std::string nav_format_time_to_go(double seconds);
// Local hh:mm of a UTC time, with "+1d" for the days after today's.
std::string nav_format_local_time(int64_t utc, int64_t nowUtc, int zoneMinutes);

// The strip's items, most wanted first, for the window to lay out in lines
// of its width: "To Home", "Brg 047°", "12.3 km", "SMG 62 km/h", "TTG 12 min",
// "ETA 14:35", "XTE 40 m R"; on arrival "Arrived at Home" with bearing and
// distance. speedUnit as AppSettings::speedUnit ('M': miles and feet),
// zoneMinutes the local time's offset from UTC, nowUtc the reading's time.
std::vector<std::string> nav_strip_items(const NavReading& r, char speedUnit, int zoneMinutes, int64_t nowUtc);
