// The first step of every paint: window size for Big Maps, the one-time
// kiv_pos.txt at the first valid fix, and the title.
#pragma once
#include <cstddef>

// "KIV - N 45°25'00\" / W 75°42'00\"" (UTF-8 degree sign) for a position.
void app_format_position(char* out, size_t size, double lat, double lon);
// The same degrees, minutes and seconds without the "KIV - " before them.
void app_format_degrees(char* out, size_t size, double lat, double lon);
// The title the refresh would set now (written into app_window.titleText).
const char* app_compose_title();
void app_position_refresh();
