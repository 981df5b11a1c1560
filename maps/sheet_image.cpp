#include "maps/sheet_image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "maps/gif_decoder.h"
#include "maps/jpeg_sheet.h"
#include "maps/png_sheet.h"
#include "maps/sheet_store.h"

int sheet_image_format(const unsigned char* data, size_t size) {
    if (size >= 8 && memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return SHEET_PNG;
    if (size >= 6 && (memcmp(data, "GIF87a", 6) == 0 || memcmp(data, "GIF89a", 6) == 0)) return SHEET_GIF;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return SHEET_JPEG;
    return -1;
}

int sheet_image_decode_file(const char* path, int format, unsigned char** pixels, int* width, int* height) {
    *pixels = nullptr;
    int w = 0, h = 0;
    if (format == SHEET_JPEG) {
        jpeg_read_rgb(path, pixels, &w, &h);
    } else if (format == SHEET_PNG) {
        png_read_rgb(path, pixels, &w, &h);
    } else {
        FILE* f = fopen(path, "rb");
        if (!f) return 0;
        gif_decode(f, pixels, &w, &h);
        fclose(f);
    }
    if (*pixels && (w <= 0 || h <= 0)) {
        free(*pixels);
        *pixels = nullptr;
    }
    if (!*pixels) return 0;
    *width = w;
    *height = h;
    return 1;
}

int sheet_image_format_of_path(const char* path, int satelliteImage) {
    size_t length = strlen(path);
    if (satelliteImage) return SHEET_JPEG;
    return length > 4 && strcmp(path + length - 4, ".png") == 0 ? SHEET_PNG : SHEET_GIF;
}

Result sheet_image_load(const char* path, int satelliteImage, unsigned char** pixels, int* width, int* height) {
    int format = sheet_image_format_of_path(path, satelliteImage);
    if (format != SHEET_JPEG) {
        FILE* f = fopen(path, "rb");
        if (!f) return result_fail("");
        fclose(f);
    }
    // Decode into a fresh buffer so that a failure leaves the displayed
    // image (and everything sized from it) intact.
    unsigned char* fresh = nullptr;
    int w = 0, h = 0;
    if (!sheet_image_decode_file(path, format, &fresh, &w, &h)) {
        remove(path);
        return result_fail(format == SHEET_JPEG  ? "Error in loading the JPG image"
                           : format == SHEET_PNG ? "Error in loading the PNG image"
                                                 : "Error in loading the GIF image");
    }
    free(*pixels);
    *pixels = fresh;
    *width = w;
    *height = h;
    return result_ok();
}
