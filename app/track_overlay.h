// GPX tracks, routes and waypoints opened over the map (Gps > Open Track),
// each in its own colour. Points are projected to map metres when a file
// is loaded and to sheet pixels once per sheet; a paint draws only the
// pieces whose bounds meet the sheet. Main thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MarkSurface;

// Loads a GPX file as one more overlay. 1 when it holds a GPX document;
// else 0 with why and where in error (size bytes) when given.
int  track_overlay_open(const char* path, char* error = nullptr, size_t size = 0);
void track_overlay_close_all();
// The files shown, in the order opened.
std::vector<std::string> track_overlay_paths();
int  track_overlay_count();
// The waypoints of the opened files, with the path of the file of each.
struct TrackOverlayWaypoint {
    std::string name, path;
    double lat, lon;
};
std::vector<TrackOverlayWaypoint> track_overlay_waypoints();
// The overlay colour of the i-th opened file, 0xRRGGBB.
uint32_t track_overlay_colour(int index);

// Lines and waypoint marks into the picture shown (map_view's sheet or
// view, whose extents must be held).
void track_overlay_draw(const MarkSurface& to);
// Waypoint names, as text after the blit; (sx, sy) is the sheet pixel at
// the pane's top-left corner, which is at client (paneX, paneY).
void track_overlay_draw_names(int paneX, int paneY, int sx, int sy, int paneWidth, int paneHeight);
