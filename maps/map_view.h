// The displayed map: one program-wide record shared by the window
// procedure, the drawing code and the navigation code (main thread only).
#pragma once
#include <cstdint>

#include "platform/result.h"

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
    // The picture is the extents' turned about its middle by this, radians
    // clockwise (a course-up view); 0 for a north-up picture.
    double extRotation;
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
void map_view_reset(MapView* view);

// Where the picture lies: the plane rectangle the unturned pane spans, its
// centre, the plane (an EPSG code, view_plane.h) and the turn of the
// picture about its middle (radians clockwise; 0 north-up).
struct MapExtents {
    double centreX, centreY;
    double minX, minY, maxX, maxY;
    int32_t plane;
    double rotation;
};

// Holds e as the extents of the displayed sheet (the one at view's
// sheetLat, sheetLon and zoomLevel), so they are not read again for it.
void map_view_hold_extents(MapView* view, const MapExtents& e);

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

// A point of the picture as the extents place it (continuous pixels,
// rows top-down) to where the turned picture shows it, and back.
void map_view_turn(const MapView& view, double* column, double* row);
void map_view_unturn(const MapView& view, double* column, double* row);

// Bytes per display bitmap row: 3 x width rounded up to a multiple of 4.
int map_view_bitmap_stride(int width);

// (Re)creates the display bitmap from packed RGB pixels: frees *header,
// allocates header + rows, copies with red and blue exchanged. A failed
// allocation fails with "Error in displaying the image" for the window and
// leaves *header null. Without pixels or with a non-positive size it fails
// with no reason (nothing to tell) and leaves the existing bitmap alone.
Result map_view_build_bitmap(unsigned char** header, unsigned char** bits, const unsigned char* pixels,
                          int width, int height);
