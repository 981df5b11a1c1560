#include "maps/map_view.h"

#include <cstdlib>
#include <cstring>

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

int displayBitmapStride(int width) { return (width * 3 + 3) & ~3; }

bool buildDisplayBitmap(unsigned char** header, unsigned char** bits, const unsigned char* pixels,
                        int width, int height) {
    if (!pixels || width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
    free(*header);
    *header = nullptr;
    *bits = nullptr;

    size_t stride = static_cast<size_t>(displayBitmapStride(width));
    unsigned char* block = static_cast<unsigned char*>(malloc(DIB_HEADER_SIZE + stride * height));
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
        const unsigned char* src = pixels + static_cast<size_t>(y) * width * 3;
        unsigned char* dst = rows + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; x++) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            src += 3;
            dst += 3;
        }
        // Padding bytes are defined so a blit never shows stale memory.
        for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; pad++) rows[y * stride + pad] = 0;
    }
    *header = block;
    *bits = rows;
    return true;
}
