#include "maps/sheet_extent.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>


#include "maps/map_view.h"
#include "maps/png_sheet.h"
#include "maps/sheet_store.h"

namespace {

const size_t GIF_SCREEN_END = 6 + 7;   // signature + logical screen descriptor

size_t gifColourTableSize(unsigned char packed) {
    return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0u;
}

bool readExact(FILE* f, void* buf, size_t n) { return n == 0 || fread(buf, 1, n, f) == n; }

// Record text of the given length from the current position into text.
int readRecordText(FILE* f, size_t len, char* text, size_t textSize) {
    if (len == 0 || len >= textSize) return -1;
    if (!readExact(f, text, len)) return -1;
    text[len] = '\0';
    return static_cast<int>(len);
}

int readGifRecord(FILE* f, char* text, size_t textSize) {
    unsigned char head[GIF_SCREEN_END];
    if (!readExact(f, head, sizeof head)) return -1;
    unsigned char table[768];
    if (!readExact(f, table, gifColourTableSize(head[10]))) return -1;
    unsigned char intro[3];
    if (!readExact(f, intro, sizeof intro) || intro[0] != 0x21 || intro[1] != 0xFE) return -1;
    return readRecordText(f, intro[2], text, textSize);
}

int readJpegRecord(FILE* f, char* text, size_t textSize) {
    unsigned char head[SHEET_JPEG_RECORD_OFFSET + 4];
    if (!readExact(f, head, sizeof head)) return -1;
    const unsigned char* seg = head + SHEET_JPEG_RECORD_OFFSET;
    if (seg[0] != 0xFF || seg[1] != 0xFE) return -1;
    size_t length = (static_cast<size_t>(seg[2]) << 8) | seg[3];
    if (length < 2) return -1;
    return readRecordText(f, length - 2, text, textSize);
}

bool parseNumber(const char** p, double* value, char separator) {
    char* end = nullptr;
    *value = strtod(*p, &end);
    if (end == *p || !std::isfinite(*value)) return false;
    if (separator) {
        if (*end != separator) return false;
        end++;
    }
    *p = end;
    return true;
}

bool readExtentsOf(int format, double lat, double lon, int level, const char* mapsDir, int bigMaps, double* centreX,
                   double* centreY, double* minX, double* minY, double* maxX, double* maxY) {
    char path[SHEET_PATH_MAX];
    format = sheet_stored(path, mapsDir, lat, lon, level, bigMaps, format);
    if (format < 0) return false;
    char* text = static_cast<char*>(malloc(SHEET_JPEG_RECORD_MAX + 1));
    if (!text) return false;
    SheetExtent e;
    int len = sheet_extent_read_record(path, format, text, SHEET_JPEG_RECORD_MAX + 1);
    bool ok = len > 0 && sheet_extent_parse(text, static_cast<size_t>(len), &e);
    free(text);
    if (!ok) return false;
    *centreX = e.centreX;
    *centreY = e.centreY;
    *minX = e.minX;
    *minY = e.minY;
    *maxX = e.maxX;
    *maxY = e.maxY;
    return true;
}

unsigned char* allocateCopy(size_t size) { return static_cast<unsigned char*>(malloc(size ? size : 1)); }

}  // namespace

int sheet_extent_format(char* out, size_t outSize, const SheetExtent* e) {
    int n = snprintf(out, outSize, "%ld,%lf,%lf,%lf,%lf,%lf,%lf,%lf", e->scale, e->centreX, e->centreY, e->minX,
                     e->minY, e->maxX, e->maxY, e->angle);
    if (e->epsg == 3857 && n >= 0 && static_cast<size_t>(n) < outSize)
        n += snprintf(out + n, outSize - static_cast<size_t>(n), ",3857");
    return (n >= 0 && static_cast<size_t>(n) < outSize) ? n : -1;
}

int sheet_extent_parse(const char* text, size_t len, SheetExtent* extent) {
    if (len == 0 || len > SHEET_JPEG_RECORD_MAX) return 0;
    char buf[SHEET_JPEG_RECORD_MAX + 1];
    memcpy(buf, text, len);
    buf[len] = '\0';

    const char* p = buf;
    char* end = nullptr;
    long scale = strtol(p, &end, 10);
    if (end == p || *end != ',') return 0;
    p = end + 1;
    double v[7];
    for (int i = 0; i < 7; i++)
        if (!parseNumber(&p, &v[i], i < 6 ? ',' : 0)) return 0;
    // An empty extent would divide by zero wherever a position is placed.
    if (!(v[4] > v[2]) || !(v[5] > v[3])) return 0;
    int epsg = strcmp(p, ",3857") == 0 ? 3857 : 0;
    *extent = SheetExtent{scale, v[0], v[1], v[2], v[3], v[4], v[5], v[6], epsg};
    return 1;
}

int sheet_extent_read_record(const char* path, int format, char* text, size_t textSize) {
    FILE* f = fopen(path, "rb");
    if (!f) return -1;
    int len = format == SHEET_JPEG ? readJpegRecord(f, text, textSize)
              : format == SHEET_PNG  ? png_sheet_read_extent_record(f, text, textSize)
                                     : readGifRecord(f, text, textSize);
    fclose(f);
    return len;
}

bool sheet_extent_read_stored(double lat, double lon, int level, const char* mapsDir, int bigMaps, double* centreX,
                      double* centreY, double* minX, double* minY, double* maxX, double* maxY) {
    return readExtentsOf(SHEET_GIF, lat, lon, level, mapsDir, bigMaps, centreX, centreY, minX, minY, maxX, maxY);
}

bool sheet_extent_read_stored_jpeg(double lat, double lon, int level, const char* mapsDir, int bigMaps, double* centreX,
                          double* centreY, double* minX, double* minY, double* maxX, double* maxY) {
    return readExtentsOf(SHEET_JPEG, lat, lon, level, mapsDir, bigMaps, centreX, centreY, minX, minY, maxX, maxY);
}

int sheet_extent_insert_gif(const unsigned char* in, size_t inSize, const char* record, unsigned char** out,
                         size_t* outSize) {
    *out = nullptr;
    size_t len = record ? strlen(record) : 0;
    if (len == 0 || len > SHEET_GIF_RECORD_MAX) return 0;
    if (inSize < GIF_SCREEN_END || memcmp(in, "GIF", 3) != 0) return 0;
    // Without a global colour table the record follows the screen
    // descriptor directly; counting a table there would split image data.
    size_t head = GIF_SCREEN_END + gifColourTableSize(in[10]);
    if (inSize < head) return 0;

    size_t total = inSize + 3 + len + 1;
    unsigned char* buf = allocateCopy(total);
    if (!buf) return 0;
    memcpy(buf, "GIF89a", 6);
    memcpy(buf + 6, in + 6, head - 6);
    unsigned char* p = buf + head;
    *p++ = 0x21;
    *p++ = 0xFE;
    *p++ = static_cast<unsigned char>(len);
    memcpy(p, record, len);
    p += len;
    *p++ = 0x00;
    memcpy(p, in + head, inSize - head);
    *out = buf;
    *outSize = total;
    return 1;
}

int sheet_extent_insert_jpeg(const unsigned char* in, size_t inSize, const char* record, unsigned char** out,
                          size_t* outSize) {
    *out = nullptr;
    size_t len = record ? strlen(record) : 0;
    if (len == 0 || len > SHEET_JPEG_RECORD_MAX) return 0;
    // The record goes after SOI, an 18-byte JFIF segment and two 69-byte
    // quantisation segments, and must be followed by the next marker.
    static const unsigned char soi_app0[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    static const unsigned char dqt[] = {0xFF, 0xDB, 0x00, 0x43};
    const size_t at = SHEET_JPEG_RECORD_OFFSET;
    if (inSize <= at || memcmp(in, soi_app0, sizeof soi_app0) != 0 || memcmp(in + 20, dqt, 4) != 0 ||
        memcmp(in + 89, dqt, 4) != 0 || in[at] != 0xFF)
        return 0;

    size_t total = inSize + 4 + len;
    unsigned char* buf = allocateCopy(total);
    if (!buf) return 0;
    memcpy(buf, in, at);
    unsigned char* p = buf + at;
    *p++ = 0xFF;
    *p++ = 0xFE;
    *p++ = static_cast<unsigned char>((len + 2) >> 8);
    *p++ = static_cast<unsigned char>((len + 2) & 0xFF);
    memcpy(p, record, len);
    p += len;
    memcpy(p, in + at, inSize - at);
    *out = buf;
    *outSize = total;
    return 1;
}
