// Slippy-map tile sources (Tiles= / TilesAerial=): the URL of one tile,
// the zoom that suits a sheet, the tile cache folder and the usage rules.
// Tiles are 256 x 256 pixels in Web Mercator, rows counted from the north
// ({y}) or, in TMS order, from the south ({-y}).
#pragma once
#include <cstddef>
#include <string>

#include "maps/world_grid.h"   // WORLD_GRID_MERCATOR_HALF_WIDTH

struct TileSource;

constexpr int TILE_SIZE = 256, TILE_DEFAULT_MAX_ZOOM = 19;
// Metres of Web Mercator per tile pixel at zoom 0.
constexpr double TILE_ZOOM0_METRES = 2 * WORLD_GRID_MERCATOR_HALF_WIDTH / TILE_SIZE;

// 1 when the source reads an MBTiles file ("mbtiles:PATH"); path then points into url.
int tile_source_is_mbtiles(const TileSource* source, const char** path = nullptr);
// The zoom limit: TilesMaxZoom=, 19 when not set.
int tile_source_max_zoom(const TileSource* source);
// 1 when the source refuses bulk downloads: TilesNoBulk=1, or the
// OpenStreetMap standard tile servers, whose usage policy forbids them.
int tile_source_no_bulk(const TileSource* source);

// Tiles a no-bulk source gives to one area or route pre-download, and the
// tiles a sheet takes on the average (more for a big one).
enum { TILE_NO_BULK_MAX_TILES = 250, TILE_PER_SHEET = 12, TILE_PER_BIG_SHEET = 20 };
// 1, with the message in why, when fetching that many sheets from the
// source would take more tiles than a no-bulk source gives; 0 otherwise
// (no tile source: url empty). With a maps folder the tiles given are
// counted in the source's tile cache ("bulk.txt") over
// TILE_NO_BULK_DAYS, so the cap holds across runs, not per run.
enum { TILE_NO_BULK_DAYS = 7 };
int tile_source_bulk_refused(const TileSource* source, long sheets, int bigMaps, const char* mapsRoot, std::string* why);

// The URL of tile (z, x, y), rows from the north; {s} takes one of the
// subdomains by the tile's place, "a b c" when none are set. 1, or 0 when
// it does not fit.
int tile_source_url(char* out, size_t size, const TileSource* source, int z, int x, int y);

// The host part of the template ("" for MBTiles): connections are counted per host.
void tile_source_host(const TileSource* source, char* out, size_t size);

// The first zoom whose pixels are at least as fine as metresPerPixel of
// Web Mercator, within 0..maxZoom.
int tile_source_zoom_for(double metresPerPixel, int maxZoom);

// The cache folder of the source: "<maps>/tiles/<host>-<hash of the
// template>", holding "{z}/{x}/{y}.png" (the bytes as served, whatever
// their format). 1, or 0 when it does not fit.
int tile_source_cache_folder(char* out, size_t size, const char* mapsDir, const TileSource* source);
