// Decoding a sheet file into the packed RGB pixel buffer of the map view.
#pragma once
#include "platform/result.h"
#include <cstddef>

// The format by the first bytes: SHEET_GIF, SHEET_JPEG or SHEET_PNG; -1 for
// anything else.
int sheet_image_format(const unsigned char* data, size_t size);

// Decodes a GIF (SHEET_GIF), JPEG (SHEET_JPEG) or PNG (SHEET_PNG) file. Returns 1 with
// *pixels a malloc'd width x height x 3 buffer, or 0 with *pixels null.
// Touches nothing else: the file stays, no message is shown.
int sheet_image_decode_file(const char* path, int format, unsigned char** pixels, int* width, int* height);

// The format of a store sheet at path: SHEET_JPEG when satelliteImage is
// set, else SHEET_PNG for a ".png" path and SHEET_GIF for any other.
int sheet_image_format_of_path(const char* path, int satelliteImage);

// Loads a store sheet, JPEG when satelliteImage is set, else GIF (PNG for a
// ".png" path). On success the previous *pixels is freed and replaced. A
// sheet that does not decode is deleted and fails with the reason for the
// window ("Error in loading the GIF image" / "... PNG image" / "... JPG
// image"); a GIF or PNG that cannot be opened fails with no reason (nothing
// to tell). On failure *pixels, *width and *height keep the previous image.
Result sheet_image_load(const char* path, int satelliteImage, unsigned char** pixels, int* width, int* height);
