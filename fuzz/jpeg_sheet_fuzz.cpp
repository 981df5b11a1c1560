// JPEG aerial sheets as the map view meets them: arbitrary bytes stored as
// a sheet file, decoded through the sheet reader (libjpeg) and searched
// for their extent record. The buffer must match the size reported.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_files.h"
#include "fuzz/fuzz_sheet_decode.h"
#include "maps/gif_decoder.h"
#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"

namespace {

const double LAT = 45.0 + 20.0 / 60.0, LON = -(75.0 + 40.0 / 60.0);
const int LEVEL = 2;
std::string maps_dir, sheet;

void setUp() {
    maps_dir = fuzz_folder("kiv_jpeg_fuzz") + "/Maps";
    char path[SHEET_PATH_MAX];
    if (!sheetPath(path, sizeof path, maps_dir.c_str(), LAT, LON, LEVEL, 0, SHEET_JPEG)) abort();
    sheet = path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (maps_dir.empty()) setUp();
    fuzz_write_file(sheet, data, size);

    fuzz_check_sheet_decode(sheet, SHEET_JPEG);
    double v[6];
    readSheetExtentsJpeg(LAT, LON, LEVEL, maps_dir.c_str(), 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    return 0;
}
