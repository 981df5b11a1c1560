#include "maps/webp_image.h"

#include <webp/decode.h>

#include <cstdlib>
#include <cstring>

#include "maps/gif_decoder.h"
#include "maps/sheet_download_parts.h"

bool webp_is_image(const unsigned char* data, size_t size) {
    return size >= 12 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WEBP", 4) == 0;
}

int webp_read_rgb(const char* path, unsigned char** pixels, int* width, int* height) {
    *pixels = nullptr;
    unsigned char* data = nullptr;
    size_t size = 0;
    if (!sheet_download_read_file(path, SHEET_IMAGE_BYTES_MAX, &data, &size)) return 0;
    int w = 0, h = 0;
    // The header's size is checked before libwebp allocates it: a few dozen
    // bytes can declare 16383 x 16383 pixels.
    bool fits = webp_is_image(data, size) && WebPGetInfo(data, size, &w, &h) &&
                static_cast<long>(w) * h <= SHEET_MAX_PIXELS;
    uint8_t* decoded = fits ? WebPDecodeRGB(data, size, &w, &h) : nullptr;
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
