#include "maps/png_sheet.h"

#include "maps/gif_decoder.h"

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const char kKeyword[] = "KivExtent";
const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const size_t kIhdrEnd = 8 + 4 + 4 + 13 + 4;
const size_t kRecordMax = 255;

uint32_t bigEndian(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void putBigEndian(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// Reads into a fresh buffer once the header has passed the size check.
int finishRead(png_image* image, unsigned char** pixels, int* width, int* height) {
    *pixels = nullptr;
    if (image->warning_or_error & PNG_IMAGE_ERROR) return 0;
    if (image->width == 0 || image->height == 0 ||
        static_cast<long>(image->width) * static_cast<long>(image->height) > SHEET_MAX_PIXELS) {
        png_image_free(image);
        return 0;
    }
    image->format = PNG_FORMAT_RGB;
    size_t size = PNG_IMAGE_SIZE(*image);
    unsigned char* buffer = static_cast<unsigned char*>(malloc(size));
    png_color white = {255, 255, 255};
    if (!buffer || !png_image_finish_read(image, &white, buffer, 0, nullptr)) {
        free(buffer);
        png_image_free(image);
        return 0;
    }
    *pixels = buffer;
    *width = static_cast<int>(image->width);
    *height = static_cast<int>(image->height);
    return 1;
}

// Every chunk must lie within the file. libpng allocates a text chunk's
// declared length before reading it, so 118 bytes claiming a 1.3 GB tEXt
// chunk took 2 GB and 13 s; a length past the end is refused here first.
bool chunksFitFile(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    unsigned char head[8];
    bool ok = fseek(f, 0, SEEK_END) == 0;
    long size = ok ? ftell(f) : -1;
    ok = size >= 8 && fseek(f, 8, SEEK_SET) == 0;
    for (long at = 8; ok && at + 8 <= size; ) {
        if (fread(head, 1, 8, f) != 8) break;
        uint32_t length = bigEndian(head);
        if (length > static_cast<unsigned long>(size - at - 8)) ok = false;  // the CRC may be cut; libpng says so
        else if (memcmp(head + 4, "IEND", 4) == 0) break;
        at += 8 + static_cast<long>(length) + 4;
        if (ok && fseek(f, at, SEEK_SET) != 0) ok = false;
    }
    fclose(f);
    return ok;
}

}  // namespace

int png_read_rgb(const char* path, unsigned char** pixels, int* width, int* height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!chunksFitFile(path)) {
        *pixels = nullptr;
        return 0;
    }
    png_image_begin_read_from_file(&image, path);
    return finishRead(&image, pixels, width, height);
}

int png_write_rgb_memory(const unsigned char* pixels, int width, int height, unsigned char** out, size_t* outSize) {
    *out = nullptr;
    // Sheets are written as they are made: quick compression, and one pass
    // into a buffer that holds even an incompressible image (deflate adds
    // far less than a hundredth), the exact size asked for only beyond that.
    png_alloc_size_t raw = static_cast<png_alloc_size_t>(height) * (static_cast<png_alloc_size_t>(width) * 3 + 1);
    png_alloc_size_t size = raw + raw / 100 + 4096;
    for (int pass = 0; pass < 2; ++pass) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        image.width = static_cast<png_uint_32>(width);
        image.height = static_cast<png_uint_32>(height);
        image.format = PNG_FORMAT_RGB;
        image.flags = PNG_IMAGE_FLAG_FAST;
        if (pass == 1 && !png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr)) return 0;
        unsigned char* buffer = static_cast<unsigned char*>(malloc(size));
        if (buffer && png_image_write_to_memory(&image, buffer, &size, 0, pixels, 0, nullptr)) {
            *out = buffer;
            *outSize = size;
            return 1;
        }
        free(buffer);
        png_image_free(&image);
    }
    return 0;
}

int png_sheet_insert_extent(const unsigned char* in, size_t inSize, const char* record, unsigned char** out,
                         size_t* outSize) {
    *out = nullptr;
    size_t len = record ? strlen(record) : 0;
    if (len == 0 || len > kRecordMax) return 0;
    if (inSize < kIhdrEnd || memcmp(in, kSignature, 8) != 0 || bigEndian(in + 8) != 13 ||
        memcmp(in + 12, "IHDR", 4) != 0)
        return 0;
    size_t dataLength = sizeof kKeyword + len;  // keyword, its zero, the record
    size_t chunk = 4 + 4 + dataLength + 4;
    unsigned char* copy = static_cast<unsigned char*>(malloc(inSize + chunk));
    if (!copy) return 0;
    memcpy(copy, in, kIhdrEnd);
    unsigned char* c = copy + kIhdrEnd;
    putBigEndian(c, static_cast<uint32_t>(dataLength));
    memcpy(c + 4, "tEXt", 4);
    memcpy(c + 8, kKeyword, sizeof kKeyword);
    memcpy(c + 8 + sizeof kKeyword, record, len);
    uLong crc = crc32(0L, c + 4, static_cast<uInt>(4 + dataLength));
    putBigEndian(c + 8 + dataLength, static_cast<uint32_t>(crc));
    memcpy(copy + kIhdrEnd + chunk, in + kIhdrEnd, inSize - kIhdrEnd);
    *out = copy;
    *outSize = inSize + chunk;
    return 1;
}

int png_sheet_read_extent_record(FILE* f, char* text, size_t textSize) {
    unsigned char head[8];
    if (fread(head, 1, 8, f) != 8 || memcmp(head, kSignature, 8) != 0) return -1;
    // Walk the chunks up to the image data; only a short text chunk is read.
    for (int chunks = 0; chunks < 64; chunks++) {
        if (fread(head, 1, 8, f) != 8) return -1;
        uint32_t length = bigEndian(head);
        if (memcmp(head + 4, "IDAT", 4) == 0 || memcmp(head + 4, "IEND", 4) == 0 || length > 0x7FFFFFFF) return -1;
        if (memcmp(head + 4, "tEXt", 4) == 0 && length > sizeof kKeyword && length <= sizeof kKeyword + kRecordMax) {
            char data[sizeof kKeyword + kRecordMax];
            if (fread(data, 1, length, f) != length) return -1;
            size_t recordLength = length - sizeof kKeyword;
            if (memcmp(data, kKeyword, sizeof kKeyword) == 0 && recordLength < textSize) {
                memcpy(text, data + sizeof kKeyword, recordLength);
                text[recordLength] = '\0';
                return static_cast<int>(recordLength);
            }
            if (fseek(f, 4, SEEK_CUR) != 0) return -1;
            continue;
        }
        if (fseek(f, static_cast<long>(length) + 4, SEEK_CUR) != 0) return -1;
    }
    return -1;
}
