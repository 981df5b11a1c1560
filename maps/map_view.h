// The displayed map: one program-wide record shared by the window
// procedure, the drawing code and the navigation code (main thread only).
#pragma once
#include <cstdint>

enum { SHEET_PATH_MAX = 260, DIB_HEADER_SIZE = 40 };

struct MapView {
    int32_t zoomLevel;                 // 0..4
    // The view's metres per pixel between the levels (view_scale.h); 0, or
    // a scale another level draws: the level's own.
    double scaleMpp;
    double sheetLat, sheetLon;         // snapped centre of the displayed sheet
    char sheetPath[SHEET_PATH_MAX];
    unsigned char* pixels;             // malloc'd RGB rows, packed, top-down
    int32_t imageWidth, imageHeight;
    unsigned char* dibHeader;          // malloc'd: 40-byte header + rows
    unsigned char* dibBits;            // rows inside dibHeader's block
    double extCentreX, extCentreY;
    double extMinX, extMinY, extMaxX, extMaxY;
    double extForLat, extForLon;
    int32_t extForZoom;
    int32_t extPlane;                  // the plane of the extents (an EPSG code, view_plane.h)
    double targetLat, targetLon;
    int32_t targetZoom;
    double focusLat, focusLon;
    char lastPanDir;                   // 'W', 'N', 'S', 'E' or ' '
    double cursorLat, cursorLon;
    int32_t clientWidth, clientHeight;
    int32_t paneWidth, paneHeight;
    int32_t appliedBigMaps;
    int32_t lastMarkerX, lastMarkerY;
    int32_t lastFixState;
    int64_t lastMovingTime;
};

extern MapView map_view;

// Frees the image and the display bitmap and returns every field to its
// start value (level 2, small pane, no sheet).
void mapViewReset(MapView* view);

// The bitmap information header at the start of the display bitmap block,
// little-endian as the display backends read it.
struct DisplayBitmapHeader {
    uint32_t size;                     // 40
    int32_t width;
    int32_t height;                    // negative: rows run top-down
    uint16_t planes;                   // 1
    uint16_t bitCount;                 // 24
    uint32_t compression;              // 0: none
    uint32_t sizeImage;
    int32_t xPelsPerMeter, yPelsPerMeter;
    uint32_t clrUsed, clrImportant;
};
static_assert(sizeof(DisplayBitmapHeader) == DIB_HEADER_SIZE);

// Bytes per display bitmap row: 3 x width rounded up to a multiple of 4.
int displayBitmapStride(int width);

// (Re)creates the display bitmap from packed RGB pixels: frees *header,
// allocates header + rows, copies with red and blue exchanged. On a failed
// allocation shows "Error in displaying the image", leaves *header null and
// returns false. Without pixels or with a non-positive size it returns
// false and leaves the existing bitmap alone.
bool buildDisplayBitmap(unsigned char** header, unsigned char** bits, const unsigned char* pixels,
                        int width, int height);
