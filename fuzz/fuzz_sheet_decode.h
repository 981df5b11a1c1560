// What the sheet-image fuzzers share: decode a stored sheet file and hold the
// reader to its promise (a picture within the pixel limit, or nothing).
#pragma once
#include <cstddef>
#include <cstdlib>
#include <string>

#include "maps/gif_decoder.h"
#include "maps/sheet_image.h"

inline void fuzz_check_sheet_decode(const std::string& path, int kind) {
    unsigned char* pixels = nullptr;
    int width = -1, height = -1;
    if (sheet_image_decode_file(path.c_str(), kind, &pixels, &width, &height)) {
        if (!pixels || width <= 0 || height <= 0 || long(width) * height > SHEET_MAX_PIXELS) abort();
        size_t bytes = size_t(width) * height * 3;
        volatile unsigned char sink = pixels[0] ^ pixels[bytes - 1];  // both ends, for ASan
        (void)sink;
    } else if (pixels) {
        abort();
    }
    free(pixels);
}
