// Sheets from a WMS GetMap source (Wms= / WmsAerial= of kiv_ini.txt).
#pragma once
#include "platform/result.h"

struct WmsSource;

// Fetches the sheet of the given centre, level and size and stores it with
// its extent record: aerial images as JPEG; topographic sheets as GIF when
// the service sends GIF, else as PNG. outPath (SHEET_PATH_MAX bytes)
// receives the stored file's path (on failure the one asked for). Fails
// with the reason: an XML reply (a ServiceException) in the service's
// words, an error status, an image of the wrong size or one that does not
// decode. Nothing is stored then.
Result wms_download_sheet(const WmsSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                        const char* mapsDir, char* outPath);
