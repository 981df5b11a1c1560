// The toolbar's 32 x 32 button faces, drawn once by small routines.
#pragma once

enum {
    TOOLBAR_BITMAP_SIZE = 32,
    BITMAP_GPS = 701, BITMAP_GPS_GREY = 702,
    BITMAP_WEST = 721, BITMAP_NORTH = 722, BITMAP_SOUTH = 723, BITMAP_EAST = 724,
    BITMAP_LEVEL = 730, BITMAP_LEVEL_GREY = 740,   // + level 0..4
};

// Packed RGB rows of the face, or null for an unknown id. Thread-safe.
const unsigned char* toolbar_bitmap(int id);
