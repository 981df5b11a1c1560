#include "maps/webp_image.h"

#include <webp/decode.h>

#include <cstdlib>
#include <cstring>

#include "maps/sheet_download_parts.h"

int webpIsImage(const unsigned char* data, size_t size) {
    return size >= 12 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WEBP", 4) == 0;
}

int webp_read_rgb(const char* path, unsigned char** pixels, int* width, int* height) {
    *pixels = nullptr;
    unsigned char* data = nullptr;
    size_t size = 0;
    if (!sheetReadWholeFile(path, SHEET_IMAGE_BYTES_MAX, &data, &size)) return 0;
    int w = 0, h = 0;
    uint8_t* decoded = webpIsImage(data, size) ? WebPDecodeRGB(data, size, &w, &h) : nullptr;
    free(data);
    if (!decoded) return 0;
    // Handed over in a buffer of malloc's, as every decoder here does.
    *pixels = static_cast<unsigned char*>(malloc(static_cast<size_t>(w) * h * 3));
    if (*pixels) memcpy(*pixels, decoded, static_cast<size_t>(w) * h * 3);
    WebPFree(decoded);
    *width = w;
    *height = h;
    return *pixels != nullptr;
}
