// Which plane and which sheet a position falls on anywhere on Earth. The
// Canadian area (today's grid, reaching north to 86 N) keeps its sheets in
// Canada Atlas Lambert (EPSG:3978); elsewhere sheets lie in Web Mercator
// (EPSG:3857, to 85 N/S) on a grid made in the plane, so that neighbours
// overlap at every latitude.
#pragma once

#include "maps/view_plane.h"   // the planes' ids
#include "platform/result.h"

// Half the Web Mercator plane's width: x of longitude 180.
constexpr double WORLD_GRID_MERCATOR_HALF_WIDTH = 20037508.342789244;

// 1 for a real position: finite, |latitude| <= 90, |longitude| <= 180.
int world_grid_is_position(double lat, double lon);

// The centre of the sheet the program shows at the position: its plane
// (VIEW_PLANE_CANADA_LAMBERT or VIEW_PLANE_WEB_MERCATOR), or VIEW_PLANE_NONE with the reason in *why (an impossible position, or
// "No map grid here" beyond 85 degrees outside the Canadian area).
int world_grid_snap(double lat, double lon, int level, int bigMaps, double* sheetLat, double* sheetLon,
                  const char** why);

// Why no view can be centred on (lat, lon) at the level: an impossible
// position, no grid beyond 85 degrees, or PROJ failing to place it (missing
// or broken data); ok when one can.
Result world_grid_place_check(double lat, double lon, int level, int bigMaps);

// The plane of a sheet centre as world_grid_snap gives it (any point inside
// the Canadian area that is no Web Mercator sheet centre is Lambert).
int world_grid_plane_of(double lat, double lon, int level, int bigMaps);

// Web Mercator metres of a position through PROJ, and back. 1, or 0 when
// PROJ cannot place it.
int world_grid_to_mercator(double lat, double lon, double* x, double* y);
int world_grid_from_mercator(double x, double y, double* lat, double* lon);

// The Web Mercator grid on its own, also where the Canadian grid is the
// one shown: the steps between sheet centres in plane metres, and the
// sheet centre at grid point (x, y) (any multiple of the steps; x beyond
// 180 degrees wraps) as the sheet is named. 1, or 0 when PROJ cannot
// place it.
void world_grid_mercator_steps(int level, int bigMaps, double* stepX, double* stepY);
int world_grid_mercator_point(double x, double y, double* lat, double* lon);
