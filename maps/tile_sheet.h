// Sheets made from slippy-map tiles (Tiles= / TilesAerial=, or an MBTiles
// file): every sheet pixel is taken, bilinear, from the Web Mercator tile
// pixel it projects to, at the first zoom at least as fine as the sheet,
// so the sheet lies in its own plane (the Canadian grid or Web Mercator)
// like one a WMS renders.
#pragma once
#include "platform/result.h"

struct SheetExtent;
struct TileSource;

// The sheet of extent e (w x h pixels, the extent spanning w - 1 by h - 1
// pixel steps) as packed RGB in a malloc'd *rgb; tiles come through the
// cache folder (tile_fetch.h) or from the MBTiles file. Missing (404)
// tiles draw white, but a sheet none of whose tiles exist fails. refresh
// asks every cached tile again.
Result tile_make_sheet(const TileSource* source, const char* cacheDir, const SheetExtent* e, int w, int h,
                       int refresh, unsigned char** rgb);

// Makes the sheet of the given snapped centre and level and stores it with
// its extent record (PNG, or JPEG for aerial images) under mapsDir (the
// window draws the attribution once for the pane); the tile cache is under
// mapsRoot. outPath (SHEET_PATH_MAX bytes) receives its path.
Result tile_download_sheet(const TileSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                           const char* mapsDir, const char* mapsRoot, int refresh, char* outPath);
