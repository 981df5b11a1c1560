// The road route on the map: a wide translucent line under the vehicle, in
// a colour no GPX track takes, drawn into the client frame after the sheet
// (night colours dim it with the map). Main thread.
#pragma once
#include <cstdint>

#include "nav/road_route.h"

struct ClientFrame;

constexpr uint32_t ROAD_ROUTE_RGB = 0xA020F0;   // violet: the GPX colours are orange, blue, green, teal, brown
enum { ROAD_ROUTE_WIDTH = 9, ROAD_ROUTE_ALPHA = 140 };   // pixels; of 255

// (paneX, paneY): the pane's top-left in the frame; (sx, sy) the display
// picture's pixel there; width x height the part of the pane it covers.
// 1 when some of the line fell in the pane.
int road_route_marks_draw(ClientFrame* f, const RoadRoute& route, int paneX, int paneY, int sx, int sy, int width,
                          int height);
