// Sheets from a WMS GetMap source (Wms= / WmsAerial= of kiv_ini.txt).
#pragma once

struct WmsSource;

// Fetches the sheet of the given centre, level and size and stores it with
// its extent record: aerial images as JPEG; topographic sheets as GIF when
// the service sends GIF, else as PNG. outPath (SHEET_PATH_MAX bytes)
// receives the stored file's path. 0 on success, 1 on failure. An XML
// reply (a ServiceException), an image of the wrong size or one that does
// not decode stores nothing and shows the reason, once until it changes or
// a sheet arrives.
int wmsDownloadSheet(const WmsSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                     const char* mapsDir, char* outPath);
