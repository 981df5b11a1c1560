// The extent record every stored sheet carries: the scale it was requested
// with, the map-coordinate centre, the image extent and the north-arrow
// angle, as "%ld,%lf,%lf,%lf,%lf,%lf,%lf,%lf". GIF sheets hold it in a
// comment extension right after the global colour table, JPEG sheets in a
// comment segment right after the JFIF and two quantisation segments.
#pragma once
#include <cstddef>

enum {
    SHEET_GIF_RECORD_MAX = 255,        // one comment sub-block
    SHEET_JPEG_RECORD_MAX = 65533,     // segment length is 16 bits, itself included
    SHEET_JPEG_RECORD_OFFSET = 2 + 18 + 69 + 69,
};

struct SheetExtent {
    long scale;
    double centreX, centreY;
    double minX, minY, maxX, maxY;
    double angle;
    int epsg = 0;  // 0: the Canadian grid (EPSG:3978); 3857: a Web Mercator sheet
};

// Formats the record; returns its length, or -1 when it does not fit. A
// Web Mercator sheet's record ends in ",3857" so it is never drawn in the
// Canadian plane.
int sheet_extent_format(char* out, size_t outSize, const SheetExtent* extent);
// Parses a record of exactly len characters (no terminator needed). Returns
// 1 only when all eight fields are read, the numbers are finite and the
// extent is not empty; *extent is written only then.
int sheet_extent_parse(const char* text, size_t len, SheetExtent* extent);

// Reads the raw record of a sheet file into text (terminated). Returns its
// length, or -1 when the file has none at the expected place. Never reads
// past the record or the end of the file.
int sheet_extent_read_record(const char* path, int format, char* text, size_t textSize);

// Sheet look-up by grid point; the six outputs are written only on success.
bool sheet_extent_read_stored(double lat, double lon, int level, const char* mapsDir, int bigMaps, double* centreX,
                      double* centreY, double* minX, double* minY, double* maxX, double* maxY);
bool sheet_extent_read_stored_jpeg(double lat, double lon, int level, const char* mapsDir, int bigMaps, double* centreX,
                          double* centreY, double* minX, double* minY, double* maxX, double* maxY);

// Insert the record into a whole GIF / JPEG file image held in memory.
// On success return 1 with *out a malloc'd copy holding the record (release
// with free()); return 0 and leave *out null when the record is too long or
// the input lacks the layout the record is placed in.
int sheet_extent_insert_gif(const unsigned char* in, size_t inSize, const char* record, unsigned char** out,
                         size_t* outSize);
int sheet_extent_insert_jpeg(const unsigned char* in, size_t inSize, const char* record, unsigned char** out,
                          size_t* outSize);
