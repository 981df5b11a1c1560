// PNG sheets: topographic sheets from a WMS, stored beside the GIF and JPEG
// ones under the same name with ".png". The extent record rides in a tEXt
// chunk with the keyword "KivExtent" right after the IHDR chunk, so that it
// is found before any image data and any PNG reader ignores it.
#pragma once
#include <cstddef>
#include <cstdio>

// Decodes to packed RGB (alpha composited on white). Images over the GIF
// decoder's pixel bound are refused before any pixel buffer is allocated. 1 with *pixels a
// malloc'd width x height x 3 buffer; 0 with *pixels null.
int png_read_rgb(const char* path, unsigned char** pixels, int* width, int* height);

// Encodes packed RGB as a PNG in memory (malloc'd *out). 1 on success.
int png_write_rgb_memory(const unsigned char* pixels, int width, int height, unsigned char** out, size_t* outSize);

// Inserts the record chunk into a whole PNG held in memory; *out is a
// malloc'd copy. 0 (and *out null) when the input is not a PNG starting
// with IHDR or the record is empty or over 255 characters.
int png_sheet_insert_extent(const unsigned char* in, size_t inSize, const char* record, unsigned char** out,
                         size_t* outSize);
// The record of an open PNG file into text (terminated); its length, or -1
// when there is none before the image data.
int png_sheet_read_extent_record(FILE* f, char* text, size_t textSize);
