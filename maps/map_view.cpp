#include "maps/map_view.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "maps/view_plane.h"
#include "platform/pixel_rows.h"

MapView map_view = [] {
    MapView v{};
    v.zoomLevel = 2;
    v.lastPanDir = ' ';
    v.paneWidth = view_sheet_width(0);
    v.paneHeight = view_sheet_height(0);
    v.extForZoom = -1;                 // no extent record held yet
    v.extPlane = VIEW_PLANE_CANADA_LAMBERT;
    return v;
}();

void map_view_reset(MapView* view) {
    free(view->pixels);
    free(view->dibHeader);
    *view = MapView{};
    view->zoomLevel = 2;
    view->lastPanDir = ' ';
    view->paneWidth = view_sheet_width(0);
    view->paneHeight = view_sheet_height(0);
    view->extForZoom = -1;
    view->extPlane = VIEW_PLANE_CANADA_LAMBERT;
}

void map_view_hold_extents(MapView* view, const MapExtents& e) {
    view->extCentreX = e.centreX;
    view->extCentreY = e.centreY;
    view->extMinX = e.minX;
    view->extMinY = e.minY;
    view->extMaxX = e.maxX;
    view->extMaxY = e.maxY;
    view->extPlane = e.plane;
    view->extRotation = e.rotation;
    view->extForLat = view->sheetLat;
    view->extForLon = view->sheetLon;
    view->extForZoom = view->zoomLevel;
}

namespace {

void turnBy(const MapView& view, double angle, double* column, double* row) {
    double c = std::cos(angle), s = std::sin(angle);
    double dx = *column - view.imageWidth / 2.0, dy = *row - view.imageHeight / 2.0;
    *column = view.imageWidth / 2.0 + dx * c - dy * s;
    *row = view.imageHeight / 2.0 + dx * s + dy * c;
}

}  // namespace

void map_view_turn(const MapView& view, double* column, double* row) {
    if (view.extRotation != 0) turnBy(view, view.extRotation, column, row);
}

void map_view_unturn(const MapView& view, double* column, double* row) {
    if (view.extRotation != 0) turnBy(view, -view.extRotation, column, row);
}

int map_view_bitmap_stride(int width) { return (width * 3 + 3) & ~3; }

Result map_view_build_bitmap(unsigned char** header, unsigned char** bits, const unsigned char* pixels,
                          int width, int height) {
    if (!pixels || width <= 0 || height <= 0 || width > 65535 || height > 65535) return result_fail("");
    size_t stride = static_cast<size_t>(map_view_bitmap_stride(width));
    // A block of the same size is written again: a view repainted while
    // driving or dragging neither frees nor faults in megabytes a frame.
    DisplayBitmapHeader old{};
    if (*header) memcpy(&old, *header, sizeof old);
    unsigned char* block = *header;
    if (!block || old.width != width || old.height != -height) {
        free(*header);
        *header = nullptr;
        *bits = nullptr;
        block = static_cast<unsigned char*>(malloc(DIB_HEADER_SIZE + stride * height));
    }
    if (!block) return result_fail("Error in displaying the image");
    DisplayBitmapHeader h{};
    h.size = DIB_HEADER_SIZE;
    h.width = width;
    h.height = -height;
    h.planes = 1;
    h.bitCount = 24;
    h.compression = 0;
    memcpy(block, &h, sizeof h);

    unsigned char* rows = block + DIB_HEADER_SIZE;
    for (int y = 0; y < height; y++) {
        pixel_row_swap_rb(rows + static_cast<size_t>(y) * stride, pixels + static_cast<size_t>(y) * width * 3, width);
        // Padding bytes are defined so a blit never shows stale memory.
        for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; pad++) rows[y * stride + pad] = 0;
    }
    *header = block;
    *bits = rows;
    return result_ok();
}
