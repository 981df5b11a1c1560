// JPEG sheets over libjpeg (the 6b interface): decode to and encode from the
// packed RGB pixel buffer shared with the GIF decoder.
#pragma once

// Returns 1 with *pixels a malloc'd width x height x 3 buffer (release with free()),
// or 0 with *pixels null. Images above SHEET_MAX_PIXELS (gif_decoder.h)
// are refused from their header.
int jpeg_read_rgb(const char* path, unsigned char** pixels, int* width, int* height);
// Returns 1 when the file was written, 0 on failure.
int jpeg_write_rgb(const char* path, const unsigned char* pixels, int width, int height);
