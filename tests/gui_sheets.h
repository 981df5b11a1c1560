// Sheets for the window tests and benchmarks: the map-like picture of the
// sheet tests with colours shifted per sheet, so neighbours differ at every
// pixel, stored with an extent record around the grid point.
#pragma once
#include <cmath>
#include <string>

#include "maps/lcc.h"
#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_store.h"
#include "maps/view_plane.h"
#include "maps/view_sheets.h"
#include "maps/zoom_levels.h"
#include "tests/sheet_test_files.h"

inline int guiSheetWidth(int big) { return view_sheet_width(big); }
inline int guiSheetHeight(int big) { return view_sheet_height(big); }

inline int guiSheetShift(double lat, double lon, int level, int big) {
    long a = lround(lat * 3600), b = lround(lon * 3600);
    return static_cast<int>(((a * 31 + b * 17 + level * 7 + big * 13) % 97 + 97) % 97) + 1;
}

inline Bytes guiSheetIndices(double lat, double lon, int level, int big) {
    Bytes idx = mapLikeIndices(guiSheetWidth(big), guiSheetHeight(big));
    int shift = guiSheetShift(lat, lon, level, big);
    for (auto& i : idx) i = static_cast<unsigned char>((i + shift) & 0xFF);
    return idx;
}

// Writes DIR/Maps/.../sheet of grid point (lat, lon); 1 on success.
inline int writeGuiSheet(const std::string& dir, double lat, double lon, int level, int big) {
    const int w = guiSheetWidth(big), h = guiSheetHeight(big);
    SheetExtent e;
    if (!view_sheet_expected_extent(lat, lon, level, big, &e)) return 0;
    char record[256], path[SHEET_PATH_MAX];
    std::string maps = dir + "/Maps";
    if (sheet_extent_format(record, sizeof record, &e) <= 0) return 0;
    if (!sheet_path(path, sizeof path, maps.c_str(), lat, lon, level, big, SHEET_GIF)) return 0;
    Bytes gif = makeGif(w, h, guiSheetIndices(lat, lon, level, big));
    unsigned char* out = nullptr;
    size_t outSize = 0;
    if (!sheet_extent_insert_gif(gif.data(), gif.size(), record, &out, &outSize)) return 0;
    writeBytes(path, Bytes(out, out + outSize));
    free(out);
    return 1;
}
