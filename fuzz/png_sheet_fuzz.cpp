// PNG sheets as the map view meets them: arbitrary bytes stored as a sheet
// file, decoded through the sheet reader (libpng) and searched for their
// extent record. Where the record chunk can be put into the bytes, it must
// be found again as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_files.h"
#include "fuzz/fuzz_sheet_decode.h"
#include "maps/gif_decoder.h"
#include "maps/png_sheet.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"

namespace {

const char* const RECORD = "200000,1470000.250000,-200000.500000,1450000.125000,2,1";

void checkDecode(const std::string& path) { fuzz_check_sheet_decode(path, SHEET_PNG); }

void checkRecord(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) abort();
    char text[300];
    int n = png_sheet_read_extent_record(f, text, sizeof text);
    fclose(f);
    if (n >= 0 && (size_t(n) >= sizeof text || text[n] != '\0')) abort();  // zeros inside are the parser's to refuse
}

void checkInsert(const uint8_t* data, size_t size) {
    unsigned char* out = nullptr;
    size_t outSize = 0;
    if (!png_sheet_insert_extent(data, size, RECORD, &out, &outSize)) {
        if (out) abort();
        return;
    }
    FILE* f = fmemopen(out, outSize, "rb");
    if (!f) abort();
    char text[300];
    int n = png_sheet_read_extent_record(f, text, sizeof text);
    fclose(f);
    free(out);
    if (n != int(strlen(RECORD)) || strcmp(text, RECORD) != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string sheet = fuzz_folder("kiv_png_fuzz") + "/sheet.png";
    fuzz_write_file(sheet, data, size);
    checkDecode(sheet);
    checkRecord(sheet);
    checkInsert(data, size);
    return 0;
}
