// WebP tiles, which some tile services send, decoded through libwebp.
#pragma once
#include <cstddef>

// True when the bytes start like a WebP file ("RIFF", size, "WEBP").
bool webp_is_image(const unsigned char* data, size_t size);

// Decodes a WebP file to packed RGB. 1 with *pixels a malloc'd width x
// height x 3 buffer; 0 with *pixels null, also for an image above
// SHEET_MAX_PIXELS (gif_decoder.h).
int webp_read_rgb(const char* path, unsigned char** pixels, int* width, int* height);
