// Menu commands that change the displayed sheet: Open Map, Reload Map,
// Big Maps and Satellite Image. Main thread, with the settings record.
#pragma once
#include <cstddef>

struct AppSettings;

void command_open_map(AppSettings* s);
void command_reload_map(AppSettings* s);
void command_big_maps(AppSettings* s);
void command_satellite_image(AppSettings* s);

// The Open Map file dialog's filters, first folder and default extension.
extern const char OPEN_MAP_FILTERS[];
extern const char OPEN_MAP_FOLDER[];
extern const char OPEN_MAP_DEFAULT_EXT[];

// What a sheet file name says about its sheet: "mac_z2_w0754000_n0452000.gif"
// with the sheet-name letter of this run in place of 'z'. *bigMaps is 0 for
// 'c' or 'q' after "ma", 1 for 'd' or 'z', -1 for any other letter. 1 when
// the last component of path is such a name, else 0 (nothing written).
int open_map_parse_name(const char* path, int* bigMaps, int* level, double* lat, double* lon);

// The folder holding the maps folder of a sheet file that lies in its
// sheet folders under a folder named like the last component of mapsDir
// (the maps folder, not a source's store), directly or in a source's store
// ("<root>/Maps/w070/w075n045/<name>" and
// "<root>/Maps/sources/<store>/w070/w075n045/<name>" give "<root>"; "" when
// the maps folder is relative with nothing above it). 1 when path has that
// shape.
int open_map_tree_root(const char* path, double lat, double lon, const char* mapsDir, char* out, size_t size);
