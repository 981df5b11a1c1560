#include "app/marker.h"

#include <algorithm>
#include <cstdint>

#include "app/stale_fix.h"
#include "maps/map_view.h"

const char* const MARKER_PATTERN[11] = {
    "...##k##...", ".####k####.", ".####k####.", "###########", "####kkk####", "kkk#kkk#kkk",
    "####kkk####", "###########", ".####k####.", ".####k####.", "...##k##...",
};

const char* const STALE_MARKER_PATTERN[11] = {
    "...kkkkk...", "..kgggggk..", ".kggkkkggk.", "kggk...kggk", "kgk.....kgk", "kgk.....kgk",
    "kgk.....kgk", "kggk...kggk", ".kggkkkggk.", "..kgggggk..", "...kkkkk...",
};

namespace {

const char* const kTrailDot[5] = {".kkk.", "krrrk", "krrrk", "krrrk", ".kkk."};

uint32_t cellColour(char cell) {
    switch (cell) {
    case '#': return 0xFFFF00;
    case 'g': return STALE_FIX_GREY;
    case 'r': return 0xE00000;
    default: return 0;
    }
}

// A square pattern of size rows centred on (x, y).
void drawPattern(unsigned char* bits, int width, int height, int x, int y, const char* const* rows, int size) {
    if (!bits || width <= 0 || height <= 0) return;
    const int stride = displayBitmapStride(width), half = size / 2;
    for (int r = 0; r < size; r++) {
        long py = static_cast<long>(y) + r - half;
        if (py < 0 || py >= height) continue;
        for (int c = 0; c < size; c++) {
            long px = static_cast<long>(x) + c - half;
            if (rows[r][c] == '.' || px < 0 || px >= width) continue;
            uint32_t rgb = cellColour(rows[r][c]);
            unsigned char* p = bits + py * stride + px * 3;
            p[0] = static_cast<unsigned char>(rgb), p[1] = static_cast<unsigned char>(rgb >> 8);
            p[2] = static_cast<unsigned char>(rgb >> 16);
        }
    }
}

void paintRow(unsigned char* bits, int stride, int width, int row, unsigned char value) {
    std::fill_n(bits + static_cast<long>(row) * stride, static_cast<long>(width) * 3, value);
}

void paintColumn(unsigned char* bits, int stride, int height, int column, unsigned char value) {
    unsigned char* p = bits + static_cast<long>(column) * 3;
    for (int r = 0; r < height; r++, p += stride) p[0] = p[1] = p[2] = value;
}

}  // namespace

void drawMarker(unsigned char* dibBits, int width, int height, int x, int y, const char* const pattern[11]) {
    drawPattern(dibBits, width, height, x, y, pattern, 11);
}

void drawTrailDot(unsigned char* dibBits, int width, int height, int x, int y) {
    drawPattern(dibBits, width, height, x, y, kTrailDot, 5);
}

void drawCrossHair(unsigned char* dibBits, int width, int height, int x, int y, int hairWidth) {
    if (!dibBits || width <= 0 || height <= 0 || hairWidth <= 0) return;
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
    if (y >= 0 && y < height) paintRow(dibBits, stride, width, y, 0);
    if (x >= 0 && x < width) paintColumn(dibBits, stride, height, x, 0);
}
