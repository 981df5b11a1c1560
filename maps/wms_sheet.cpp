#include "maps/wms_sheet.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "maps/jpeg_sheet.h"
#include "maps/map_view.h"
#include "maps/png_sheet.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/wms_request.h"
#include "maps/zoom_levels.h"
#include "net/http_client.h"
#include "platform/platform.h"
#include "settings/app_settings.h"

namespace {

// A sheet image (or an error page) is far smaller; a service sending more
// or dripping ends the transfer instead of filling the disk.
const int64_t kTransferMaxBytes = 4 << 20;
const int kTransferDeadlineMs = 60000;

// The last reason shown: a failing service retried at every pan says it once.
std::mutex shownLock;
std::string shown;

void sayOnce(const char* text) {
    {
        std::lock_guard<std::mutex> g(shownLock);
        if (shown == text) return;
        shown = text;
    }
    platform_warn(text);
}

void forgetShown() {
    std::lock_guard<std::mutex> g(shownLock);
    shown.clear();
}

int imageFormatOf(const unsigned char* data, size_t size) {
    if (size >= 8 && memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) return SHEET_PNG;
    if (size >= 6 && (memcmp(data, "GIF87a", 6) == 0 || memcmp(data, "GIF89a", 6) == 0)) return SHEET_GIF;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return SHEET_JPEG;
    return -1;
}

int storeWithRecord(const char* path, int format, const unsigned char* image, size_t size, const char* record) {
    unsigned char* sheet = nullptr;
    size_t sheetSize = 0;
    int ok = format == SHEET_JPEG  ? sheetInsertExtentJpeg(image, size, record, &sheet, &sheetSize)
             : format == SHEET_PNG ? sheetInsertExtentPng(image, size, record, &sheet, &sheetSize)
                                   : sheetInsertExtentGif(image, size, record, &sheet, &sheetSize);
    ok = ok && sheetStoreAtomically(path, sheet, sheetSize);
    free(sheet);
    return ok;
}

// Re-encodes decoded pixels into the store's format through the JPEG
// writer (aerial images) or the PNG writer (a topographic JPEG).
int storePixels(const char* path, int format, const unsigned char* pixels, int w, int h, const char* record,
                const SheetTempFiles* temp) {
    unsigned char* bytes = nullptr;
    size_t size = 0;
    int ok = 0;
    if (format == SHEET_JPEG) {
        ok = jpeg_write_rgb(temp->jpeg, pixels, w, h) && sheetReadWholeFile(temp->jpeg, 64u << 20, &bytes, &size);
    } else {
        ok = png_write_rgb_memory(pixels, w, h, &bytes, &size);
    }
    ok = ok && storeWithRecord(path, format, bytes, size, record);
    free(bytes);
    return ok;
}

struct Reply {
    unsigned char* data = nullptr;
    size_t size = 0;
    ~Reply() { free(data); }
};

// The reply as an image of the sheet's size, or the reason it is not one.
int checkReply(const HttpTransfer& t, const Reply& reply, const SheetTempFiles* temp, int w, int h, int* format,
               unsigned char** pixels, std::string* why) {
    char message[512];
    if (wmsServiceMessage(reply.data, reply.size, message, sizeof message)) {
        *why = std::string("The map service sent no sheet: ") + message;
        return 0;
    }
    if (t.status != 200) {
        *why = "The map service answered HTTP " + std::to_string(t.status) + " and no sheet";
        return 0;
    }
    *format = imageFormatOf(reply.data, reply.size);
    int dw = 0, dh = 0;
    if (*format < 0 || (*format == SHEET_GIF && !gifIsComplete(reply.data, reply.size)) ||
        !decodeSheetFile(temp->image, *format, pixels, &dw, &dh)) {
        *why = std::string("The map service sent no readable image (") + (t.contentType[0] ? t.contentType : "no type") +
               ")";
        return 0;
    }
    if (dw != w || dh != h) {
        free(*pixels);
        *pixels = nullptr;
        *why = "The map service sent a " + std::to_string(dw) + " x " + std::to_string(dh) + " image for a " +
               std::to_string(w) + " x " + std::to_string(h) + " sheet";
        return 0;
    }
    return 1;
}

int fetchAndStore(const WmsSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                  const char* mapsDir, char* outPath, const SheetTempFiles* temp) {
    int w = bigMaps ? 720 : 480, h = bigMaps ? 540 : 360;
    long scale = zoomScale(level);
    double x = 0, y = 0, angle = 0;
    if (!sheetCentreAndAngle(lat, lon, &x, &y, &angle)) return 1;
    WmsBox box = wmsSheetBox(x, y, scale, w, h);
    SheetExtent e = {scale, x, y, box.minX, box.minY, box.maxX, box.maxY, angle};
    char record[SHEET_GIF_RECORD_MAX + 1];
    if (sheetFormatExtentRecord(record, sizeof record, &e) <= 0) return 1;
    char url[SHEET_URL_MAX];
    if (!wmsGetMapUrl(url, sizeof url, source, &box, w, h)) return 1;

    HttpTransfer t;
    t.cancel = sheetDownloadCancelFlag();
    t.maxBytes = kTransferMaxBytes;
    t.deadlineMs = kTransferDeadlineMs;
    Reply reply;
    if (!HttpTransferToFile(url, nullptr, temp->image, &t) ||
        !sheetReadWholeFile(temp->image, kTransferMaxBytes, &reply.data, &reply.size))
        return 1;
    int format = -1;
    unsigned char* pixels = nullptr;
    std::string why;
    if (!checkReply(t, reply, temp, w, h, &format, &pixels, &why)) {
        sayOnce(why.c_str());
        return 1;
    }
    // Aerial images are JPEG in the store; topographic sheets keep a GIF
    // as it came and are PNG otherwise.
    int stored = aerial ? SHEET_JPEG : format == SHEET_GIF ? SHEET_GIF : SHEET_PNG;
    int ok = sheetPath(outPath, SHEET_PATH_MAX, mapsDir, lat, lon, level, bigMaps, stored);
    if (ok) {
        ok = stored == format && format != SHEET_JPEG
                 ? storeWithRecord(outPath, format, reply.data, reply.size, record)
                 : storePixels(outPath, stored, pixels, w, h, record, temp);
    }
    free(pixels);
    if (!ok) return 1;
    forgetShown();
    return 0;
}

}  // namespace

int wmsDownloadSheet(const WmsSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                     const char* mapsDir, char* outPath) {
    if (!source || !source->url[0] || !outPath) return 1;
    SheetTempFiles temp;
    sheetTempFilesMake(&temp);
    int result = fetchAndStore(source, aerial, lat, lon, level, bigMaps, mapsDir, outPath, &temp);
    sheetTempFilesRemove(&temp);
    return result;
}
