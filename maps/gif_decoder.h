// The program's own GIF decoder: first image of a GIF file into a packed
// RGB pixel buffer (rows top to bottom, 3 bytes a pixel). Never reads past
// the end of the stream nor writes outside its tables and buffer.
#pragma once
#include <cstdint>
#include <cstdio>

// The largest sheet image any decoder allocates: 16 Mpx (48 MB of RGB), far
// above any map sheet, small enough that a header declaring 65535 x 65535
// over a few bytes of data fails cleanly instead.
constexpr long SHEET_MAX_PIXELS = 1L << 24;

// The caller sets *pixels to null first. On success *pixels is a malloc'd
// buffer of (*width) x (*height) x 3 bytes (release with free()); on failure
// it stays null. Always returns 0.
int gif_decode(FILE* stream, unsigned char** pixels, int* width, int* height);

// The first image as a byte a pixel into its colour table, as the view's
// cache keeps a sheet: *indices a malloc'd (*width) x (*height) buffer,
// colours[i] the colour of index i as 0xFFRRGGBB (black past the file's
// table). The colours are those gif_decode gives, pixel for pixel. 1; or 0
// with *indices null and the sizes 0 when the image does not decode, or
// when it has pixels that must be black and a full table without black
// (the caller decodes to RGB then).
int gif_decode_indices(FILE* stream, unsigned char** indices, uint32_t colours[256], int* width, int* height);
