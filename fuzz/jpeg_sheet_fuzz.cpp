// JPEG aerial sheets as the map view meets them: arbitrary bytes stored as
// a sheet file, decoded through the sheet reader (libjpeg) and searched
// for their extent record. The buffer must match the size reported.
//
// As libjpeg-turbo's own fuzzers do, inputs declaring a picture above a
// megapixel (but within the sheet limit) are skipped: decoding garbage into
// 16 million pixels takes a tenth of a second and would hold a campaign to a
// few hundred runs a second. Pictures over the limit still go through, so
// the refusal from the header stays covered.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <jpeglib.h>

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
    if (!sheet_path(path, sizeof path, maps_dir.c_str(), LAT, LON, LEVEL, 0, SHEET_JPEG)) abort();
    sheet = path;
}

struct HeaderTrap {
    jpeg_error_mgr pub;
    std::jmp_buf landing;
};

[[noreturn]] void headerFailed(j_common_ptr c) { std::longjmp(reinterpret_cast<HeaderTrap*>(c->err)->landing, 1); }

// Pixels the header declares, 0 when there is no header to read.
unsigned long long declaredPixels(const uint8_t* data, size_t size) {
    jpeg_decompress_struct cinfo;
    HeaderTrap trap;
    cinfo.err = jpeg_std_error(&trap.pub);
    trap.pub.error_exit = headerFailed;
    trap.pub.emit_message = [](j_common_ptr, int) {};
    if (setjmp(trap.landing)) {
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    unsigned long long pixels = static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
    return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (maps_dir.empty()) setUp();
    unsigned long long pixels = declaredPixels(data, size);
    if (pixels > (1ULL << 20) && pixels <= static_cast<unsigned long long>(SHEET_MAX_PIXELS)) return 0;
    fuzz_write_file(sheet, data, size);

    fuzz_check_sheet_decode(sheet, SHEET_JPEG);
    double v[6];
    sheet_extent_read_stored_jpeg(LAT, LON, LEVEL, maps_dir.c_str(), 0, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    return 0;
}
