// Fetching a missing sheet from the map server: the request names the
// sheet's centre, scale, size and layers; the HTML reply names the rendered
// image and its extent; the image is stored in the sheet store with the
// extent record inserted.
#pragma once
#include "platform/result.h"

struct AppSettings;

// Each is ok when the sheet file is ready at outPath (SHEET_PATH_MAX bytes),
// found in the store or downloaded; else it fails with the reason as a
// sentence for the window or a tool to show (the server's own words where
// it sent any). They show nothing themselves: they run on worker threads.
// lat and lon
// are the snapped sheet centre. The server root is settings->serverUrl, or
// the local map server's default address when that is empty. With Wms=
// (WmsAerial= for aerial images) set, the sheet comes from that WMS
// instead (wms_sheet.h) and a topographic one may be stored as PNG: outPath
// then ends in ".png".
//
// A sheet is written under a name of its own in its folder and renamed into
// place only when complete, so a failed or cut transfer never leaves a file
// that a later look-up takes as good. The reply and image are kept in
// temporary files "tmp_map.<pid>.<n>.htm" / ".gif" / ".jpg" in the current
// folder, unique per call, removed before the call returns.
Result sheet_download_topo(double lat, double lon, int level, const AppSettings* settings, char* outPath, int bigMaps,
                     int rose, int grid);

// Aerial sheets: the server's image layer, decoded and stored as JPEG with
// the extent record in a comment segment.
Result sheet_download_aerial(double lat, double lon, int level, const AppSettings* settings, char* outPath,
                           int bigMaps);

// Fills sheet_download_hooks (sheet_dispatch.h) with the two above, their
// refetch for Reload (the stored sheet is replaced only once the new one is
// stored whole) and the cancel that cuts their transfers short at exit.
void sheet_download_install();
