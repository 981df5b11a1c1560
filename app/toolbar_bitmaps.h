// The toolbar's 32 x 32 button faces, drawn once by small routines. A
// pressed face (auto-pan on, the level shown) is sunken on a lighter ground
// with its picture in full colour, as a checked tool button looks.
#pragma once

enum {
    TOOLBAR_BITMAP_SIZE = 32,
    BITMAP_GPS = 701, BITMAP_GPS_PRESSED = 702,
    BITMAP_WEST = 721, BITMAP_NORTH = 722, BITMAP_SOUTH = 723, BITMAP_EAST = 724,
    BITMAP_LEVEL = 730, BITMAP_LEVEL_PRESSED = 740,   // + level 0..4
};

// Packed RGB rows of the face, or null for an unknown id. Thread-safe.
const unsigned char* toolbar_bitmap(int id);
