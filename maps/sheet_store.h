// The local sheet store: a two-level folder tree under the maps folder,
// one file per grid point, level and format.
#pragma once
#include <cstddef>

// PNG sheets are topographic sheets from a WMS; every look-up of a GIF
// sheet takes the PNG of the same name when there is no GIF.
enum SheetFormat { SHEET_GIF = 0, SHEET_JPEG = 1, SHEET_PNG = 2 };

// "./Maps" unless kiv_ini.txt names another folder.
extern const char* const SHEET_DEFAULT_MAPS_DIR;

// Folder "<maps>/w070/w075n045", name "mac_z2_w0754000_n0452000.gif" and
// full path "<folder>/<name>" of the sheet centred on (lat, lon). Return 1,
// or 0 when the text does not fit or the point is not a real angle.
int sheetFolder(char* out, size_t outSize, const char* mapsDir, double lat, double lon);
int sheetFileName(char* out, size_t outSize, double lat, double lon, int level, int bigMaps, int format);
int sheetPath(char* out, size_t outSize, const char* mapsDir, double lat, double lon, int level, int bigMaps,
              int format);

// Creates the maps folder with any missing parents and the two folder
// levels of the sheet (folders that exist already are fine). 1 when the
// sheet's folder exists after; otherwise 0 with the reason in why.
int sheetCreateFolders(const char* mapsDir, double lat, double lon, char* why = nullptr, size_t whySize = 0);
// The same for a given folder of a sheet inside mapsDir (any plane).
int sheetCreateFolderOf(const char* mapsDir, const char* folder, char* why = nullptr, size_t whySize = 0);

// The file that holds the sheet in the store: the one of the format or,
// for a topographic sheet (SHEET_GIF), the PNG of the same name when there
// is no GIF. Returns the stored file's format with its path in out
// (SHEET_PATH_MAX bytes); -1 when none is stored, out then holding the path
// in the format asked ("" when it does not fit).
int sheetStored(char* out, const char* mapsDir, double lat, double lon, int level, int bigMaps, int format);

// Looks the sheet up; outPath (SHEET_PATH_MAX bytes) receives its path.
// With walkCoarser, a missing sheet is looked for at the next coarser level
// with the point re-snapped, and the walked lat, lon and level are written
// back. 0 = found, 1 = not found.
int findSheet(double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
              int walkCoarser);
int findSheetJpeg(double* lat, double* lon, int* level, const char* mapsDir, char* outPath, int bigMaps,
                  int walkCoarser);
int findSheetOf(int format, double* lat, double* lon, int* level, const char* mapsDir, char* outPath,
                int bigMaps, int walkCoarser);

// Removes the sheet file (the GIF, else the PNG). 0 = removed; 1 = missing
// or not removable.
int deleteSheet(double lat, double lon, int level, const char* mapsDir, char* outPath, int bigMaps);
int deleteSheetJpeg(double lat, double lon, int level, const char* mapsDir, char* outPath, int bigMaps);
