// Distances, speeds, heights and times as the window shows them, in the
// units of Dash= (settings speedUnit): metres and kilometres, or feet and
// miles with 'M'. Each returns out.
#pragma once
#include <cstddef>

// "850 m", "1.23 km", "12.3 km"; "820 ft", "1.23 mi", "12.3 mi".
const char* distance_text(double metres, char speedUnit, char* out, size_t size);
// The speed unit as every read-out writes it: "km/h", "mph" or "m/s".
const char* speed_unit_text(char speedUnit);
// The metres per second of one of that unit.
double speed_unit_mps(char speedUnit);
// "45.6 km/h", "28.3 mph", or "12.7 m/s" with Dash=S.
const char* speed_text(double mps, char speedUnit, char* out, size_t size);
// "312 m", "1024 ft".
const char* height_text(double metres, char speedUnit, char* out, size_t size);
// "1:02:03" (hours, minutes, seconds).
const char* duration_text(double seconds, char* out, size_t size);
