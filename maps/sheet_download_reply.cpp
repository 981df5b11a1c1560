#include <cstdio>
#include <cstring>

#include "maps/sheet_download_parts.h"
#include "maps/wms_request.h"

namespace {

const char kImageTag[] = "<td>image</td>";
const char kExtentTag[] = "<td>mapext</td>";

// The name goes into a request line: nothing that could end or split it.
bool plainName(const char* name, size_t len) {
    if (len == 0 || len >= SHEET_IMAGE_NAME_MAX) return false;
    for (size_t i = 0; i < len; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    return true;
}

size_t colourTableSize(unsigned char packed) { return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0u; }

// Skips data sub-blocks up to and including the zero-length terminator.
bool skipSubBlocks(const unsigned char* data, size_t size, size_t* pos) {
    for (;;) {
        if (*pos >= size) return false;
        size_t n = data[(*pos)++];
        if (n == 0) return true;
        if (n > size - *pos) return false;
        *pos += n;
    }
}

}  // namespace

int sheet_download_parse_reply(const char* path, SheetReply* reply) {
    memset(reply, 0, sizeof *reply);
    FILE* f = fopen(path, "rb");
    if (!f) return 0;
    static thread_local char line[16384];
    int ok = 1;
    while (fgets(line, sizeof line, f)) {
        size_t len = strlen(line);
        if (len > 0 && line[len - 1] == '\n') line[--len] = '\0';
        const char* ntdb = strstr(line, "ntdb");
        if (strstr(line, kImageTag) && ntdb) {
            const char* end = strstr(ntdb, "</td>");
            size_t n = end ? static_cast<size_t>(end - ntdb) : 0;
            if (!end || !plainName(ntdb, n)) {
                ok = 0;
                break;
            }
            memcpy(reply->imageName, ntdb, n);
            reply->imageName[n] = '\0';
            reply->haveImage = 1;
            break;
        }
        if (const char* tag = strstr(line, kExtentTag)) {
            if (sscanf(tag + strlen(kExtentTag), "<td>%lf %lf %lf %lf</td>", &reply->minX, &reply->minY,
                       &reply->maxX, &reply->maxY) < 4) {
                ok = 0;
                break;
            }
            reply->haveExtent = 1;
        }
    }
    fclose(f);
    // An image named before its extent would be stored with no extent known.
    return ok && reply->haveImage && reply->haveExtent;
}

std::string sheet_download_reply_message(const char* path) {
    enum { READ_MAX = 16384, MESSAGE_MAX = 400 };
    FILE* f = fopen(path, "rb");
    if (!f) return "";
    std::string page(READ_MAX, '\0');
    page.resize(fread(page.data(), 1, page.size(), f));
    fclose(f);
    // MapServer's error page is read as a service's XML reply is.
    char text[MESSAGE_MAX];
    if (!wms_service_message(reinterpret_cast<const unsigned char*>(page.data()), page.size(), text, sizeof text))
        return "";
    return text;
}

int gif_is_complete(const unsigned char* data, size_t size) {
    if (size < 13 || (memcmp(data, "GIF87a", 6) != 0 && memcmp(data, "GIF89a", 6) != 0)) return 0;
    size_t pos = 13 + colourTableSize(data[10]);
    for (;;) {
        if (pos >= size) return 0;
        unsigned char block = data[pos++];
        if (block == 0x3B) return 1;
        if (block == 0x21) {
            if (pos >= size) return 0;
            pos++;  // extension label
        } else if (block == 0x2C) {
            if (size - pos < 10) return 0;
            size_t table = colourTableSize(data[pos + 8]);
            pos += 9;
            if (table > size - pos) return 0;
            pos += table + 1;  // local colour table, LZW minimum code size
        } else {
            return 0;
        }
        if (!skipSubBlocks(data, size, &pos)) return 0;
    }
}
