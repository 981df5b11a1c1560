// The local sheet store: a two-level folder tree under the maps folder,
// one file per grid point, level and format.
#pragma once
#include <cstddef>

#include "platform/result.h"

// PNG sheets are topographic sheets from a WMS; every look-up of a GIF
// sheet takes the PNG of the same name when there is no GIF.
enum SheetFormat { SHEET_GIF = 0, SHEET_JPEG = 1, SHEET_PNG = 2 };

// "./Maps" unless kiv_ini.txt names another folder.
extern const char* const SHEET_DEFAULT_MAPS_DIR;

// Folder "<maps>/w070/w075n045", name "mac_z2_w0754000_n0452000.gif" and
// full path "<folder>/<name>" of the sheet centred on (lat, lon). Return 1,
// or 0 when the text does not fit or the point is not a real angle.
int sheet_folder(char* out, size_t outSize, const char* mapsDir, double lat, double lon);
int sheet_file_name(char* out, size_t outSize, double lat, double lon, int level, int bigMaps, int format);
int sheet_path(char* out, size_t outSize, const char* mapsDir, double lat, double lon, int level, int bigMaps,
              int format);

// Creates the maps folder with any missing parents and the two folder
// levels of the sheet (folders that exist already are fine): ok when the
// sheet's folder exists after.
Result sheet_create_folders(const char* mapsDir, double lat, double lon);
// The same for a given folder of a sheet inside mapsDir (any plane).
Result sheet_create_folder_of(const char* mapsDir, const char* folder);

// The file that holds the sheet in the store: the one of the format or,
// for a topographic sheet (SHEET_GIF), the PNG of the same name when there
// is no GIF. Returns the stored file's format with its path in out
// (SHEET_PATH_MAX bytes); -1 when none is stored, out then holding the path
// in the format asked ("" when it does not fit).
int sheet_stored(char* out, const char* mapsDir, double lat, double lon, int level, int bigMaps, int format);

// Looks the sheet up; outPath (SHEET_PATH_MAX bytes) receives its path.
// With walkCoarser, a missing sheet is looked for at the next coarser level
// with the point re-snapped, and the walked lat, lon and level are written
// back. True when found.
bool find_sheet(double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
                int walkCoarser);
bool find_sheet_jpeg(double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
                     int walkCoarser);
bool find_sheet_of(int format, double* lat, double* lon, int* level, const char* mapsDir, char* outPath,
                   int bigMaps, int walkCoarser);

// Removes the sheet file (the GIF, else the PNG). True when removed; false
// when missing or not removable.
bool delete_sheet(double lat, double lon, int level, const char* mapsDir, char* outPath, int bigMaps);
bool delete_sheet_jpeg(double lat, double lon, int level, const char* mapsDir, char* outPath, int bigMaps);
