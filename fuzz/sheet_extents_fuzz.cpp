// Fuzzes the extent record readers of GIF and JPEG sheets (the bytes become
// a sheet file in a temporary maps tree) and checks that a record inserted
// by the writers is always read back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_files.h"
#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_store.h"

namespace {

const double LAT = 45.0 + 20.0 / 60.0, LON = -(75.0 + 40.0 / 60.0);
const int LEVEL = 2;
const char* const RECORD = "200000,1470000.250000,-200000.500000,1450000.125000,-215000.000000,"
                           "1490000.750000,-185000.000000,91.500000";

std::string maps_dir;
std::string sheet_file[2];

void setUp() {
    maps_dir = fuzz_folder("kiv_sheet_fuzz") + "/Maps";
    for (int format : {SHEET_GIF, SHEET_JPEG}) {
        char path[SHEET_PATH_MAX];
        if (!sheet_path(path, sizeof path, maps_dir.c_str(), LAT, LON, LEVEL, 0, format)) abort();
        sheet_file[format] = path;
    }
}

void writeSheet(int format, const uint8_t* data, size_t size) { fuzz_write_file(sheet_file[format], data, size); }

bool readBack(int format, double* v) {
    return format == SHEET_JPEG
               ? sheet_extent_read_stored_jpeg(LAT, LON, LEVEL, maps_dir.c_str(), 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5])
               : sheet_extent_read_stored(LAT, LON, LEVEL, maps_dir.c_str(), 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (maps_dir.empty()) setUp();
    for (int format : {SHEET_GIF, SHEET_JPEG}) {
        writeSheet(format, data, size);
        double v[6] = {0, 0, 0, 0, 0, 0};
        if (readBack(format, v) && !(v[4] > v[2] && v[5] > v[3])) abort();

        unsigned char* out = nullptr;
        size_t outSize = 0;
        int inserted = format == SHEET_JPEG ? sheet_extent_insert_jpeg(data, size, RECORD, &out, &outSize)
                                            : sheet_extent_insert_gif(data, size, RECORD, &out, &outSize);
        if (!inserted) continue;
        writeSheet(format, out, outSize);
        free(out);
        if (!readBack(format, v) || v[2] != 1450000.125) abort();
    }
    SheetExtent e;
    sheet_extent_parse(reinterpret_cast<const char*>(data), size, &e);
    return 0;
}
