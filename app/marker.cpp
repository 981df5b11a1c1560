#include "app/marker.h"

#include <algorithm>

#include "maps/map_view.h"

const char* const MARKER_PATTERN[11] = {
    "...##k##...", ".####k####.", ".####k####.", "###########", "####kkk####", "kkk#kkk#kkk",
    "####kkk####", "###########", ".####k####.", ".####k####.", "...##k##...",
};

namespace {

void paintRow(unsigned char* bits, int stride, int width, int row, unsigned char value) {
    std::fill_n(bits + static_cast<long>(row) * stride, static_cast<long>(width) * 3, value);
}

void paintColumn(unsigned char* bits, int stride, int height, int column, unsigned char value) {
    unsigned char* p = bits + static_cast<long>(column) * 3;
    for (int r = 0; r < height; r++, p += stride) p[0] = p[1] = p[2] = value;
}

}  // namespace

bool drawMarker(const AppSettings* settings, unsigned char* dibBits, int width, int height, int x, int y,
                int hairWidth) {
    if (!settings) return false;
    if (!dibBits || width <= 0 || height <= 0) return true;
    int stride = displayBitmapStride(width);

    // Only offsets that land inside the bitmap are visited, so a huge Hair=
    // costs no more than a cross-hair as wide as the sheet.
    int half = hairWidth / 2;
    if (half > 0) {
        long from = std::max<long>(-static_cast<long>(half), -static_cast<long>(std::max(x, y)) - 1);
        long to = std::min<long>(half, std::max(width - x, height - y));
        for (long i = from; i <= to; i++) {
            long row = y + i, column = x + i;
            if (row >= 0 && row < height) paintRow(dibBits, stride, width, static_cast<int>(row), 255);
            if (column >= 0 && column < width) paintColumn(dibBits, stride, height, static_cast<int>(column), 255);
        }
    }
    if (hairWidth > 0) {
        if (y >= 0 && y < height) paintRow(dibBits, stride, width, y, 0);
        if (x >= 0 && x < width) paintColumn(dibBits, stride, height, x, 0);
    }

    for (int r = 0; r < 11; r++) {
        long py = static_cast<long>(y) + r - 5;
        if (py < 0 || py >= height) continue;
        for (int c = 0; c < 11; c++) {
            char cell = MARKER_PATTERN[r][c];
            long px = static_cast<long>(x) + c - 5;
            if (cell == '.' || px < 0 || px >= width) continue;
            unsigned char* p = dibBits + py * stride + px * 3;
            p[0] = p[1] = p[2] = 0;
            if (cell == '#') p[1] = p[2] = 255;
        }
    }
    return true;
}
