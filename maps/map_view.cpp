#include "maps/map_view.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/pixel_rows.h"
#include "platform/platform.h"

MapView map_view = [] {
    MapView v{};
    v.zoomLevel = 2;
    v.lastPanDir = ' ';
    v.paneWidth = 480;
    v.paneHeight = 360;
    v.extForZoom = -1;                 // no extent record held yet
    v.extPlane = 3978;                 // Canada Atlas Lambert
    return v;
}();

void mapViewReset(MapView* view) {
    free(view->pixels);
    free(view->dibHeader);
    *view = MapView{};
    view->zoomLevel = 2;
    view->lastPanDir = ' ';
    view->paneWidth = 480;
    view->paneHeight = 360;
    view->extForZoom = -1;
    view->extPlane = 3978;
}

namespace {

void turnBy(const MapView& view, double angle, double* column, double* row) {
    double c = std::cos(angle), s = std::sin(angle);
    double dx = *column - view.imageWidth / 2.0, dy = *row - view.imageHeight / 2.0;
    *column = view.imageWidth / 2.0 + dx * c - dy * s;
    *row = view.imageHeight / 2.0 + dx * s + dy * c;
}

}  // namespace

void mapViewTurn(const MapView& view, double* column, double* row) {
    if (view.extRotation != 0) turnBy(view, view.extRotation, column, row);
}

void mapViewUnturn(const MapView& view, double* column, double* row) {
    if (view.extRotation != 0) turnBy(view, -view.extRotation, column, row);
}

int displayBitmapStride(int width) { return (width * 3 + 3) & ~3; }

bool buildDisplayBitmap(unsigned char** header, unsigned char** bits, const unsigned char* pixels,
                        int width, int height) {
    if (!pixels || width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
    size_t stride = static_cast<size_t>(displayBitmapStride(width));
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
    if (!block) {
        platform_warn("Error in displaying the image");
        return false;
    }
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
    return true;
}
