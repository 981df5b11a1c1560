// Tiles from an MBTiles file (SQLite, table "tiles" with zoom_level,
// tile_column, tile_row counted from the south, tile_data), offline.
#pragma once
#include <string>

struct MbtilesFile;

// Opens the file read-only; null with the reason in why.
MbtilesFile* mbtiles_open(const char* path, std::string* why);
void mbtiles_close(MbtilesFile* file);
// The bytes of tile (z, x, y), y counted from the north. 1 with the bytes,
// 0 when the file has no such tile (an empty tile), -1 on an error (why).
// What the file's metadata says of its tiles: the finest zoom (maxzoom;
// *maxZoom left as it is when not said) and the area (bounds: west,
// south, east, north in degrees; *haveBounds 0 when not said).
void mbtiles_limits(MbtilesFile* file, int* maxZoom, int* haveBounds, double bounds[4]);
int mbtiles_read_tile(MbtilesFile* file, int z, int x, int y, std::string* bytes, std::string* why);
