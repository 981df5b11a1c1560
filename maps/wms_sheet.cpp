#include "maps/wms_sheet.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "maps/map_view.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/view_plane.h"
#include "maps/wms_request.h"
#include "maps/zoom_levels.h"
#include "net/http_client.h"
#include "settings/app_settings.h"

namespace {

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
    *format = sheetImageFormat(reply.data, reply.size);
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

Result fetchAndStore(const WmsSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                     const char* mapsDir, char* outPath, const SheetTempFiles* temp) {
    std::string why;
    int w = view_sheet_width(bigMaps), h = view_sheet_height(bigMaps);
    // Aerial images are JPEG in the store; topographic sheets keep a GIF
    // as it came and are PNG otherwise. Named before the fetch, so that a
    // failure names the file that was asked for.
    int expected = aerial ? SHEET_JPEG : strcmp(wmsFormat(source), "image/gif") == 0 ? SHEET_GIF : SHEET_PNG;
    if (!sheet_path(outPath, SHEET_PATH_MAX, mapsDir, lat, lon, level, bigMaps, expected)) {
        return result_fail(std::string("The sheet's path in ") + mapsDir + " is too long");
    }
    long scale = zoomScale(level);
    double x = 0, y = 0, angle = 0;
    int epsg = 0;
    if (!sheetPlaneCentre(lat, lon, level, bigMaps, &x, &y, &angle, &epsg)) {
        return result_fail("The projection cannot place the sheet");
    }
    WmsBox box = wmsSheetBox(x, y, scale, w, h);
    box.epsg = epsg;
    SheetExtent e = {scale, x, y, box.minX, box.minY, box.maxX, box.maxY, angle, epsg};
    char record[SHEET_GIF_RECORD_MAX + 1];
    char url[SHEET_URL_MAX];
    if (sheetFormatExtentRecord(record, sizeof record, &e) <= 0 || !wmsGetMapUrl(url, sizeof url, source, &box, w, h)) {
        return result_fail("The map request is too long (Wms= and its keys)");
    }

    HttpTransfer t;
    Reply reply;
    if (Result got = sheetFetch(url, temp->image, &t); !got) return got;
    if (!sheetReadWholeFile(temp->image, SHEET_IMAGE_BYTES_MAX, &reply.data, &reply.size)) {
        return result_fail("The map service's reply cannot be read back");
    }
    int format = -1;
    unsigned char* pixels = nullptr;
    if (!checkReply(t, reply, temp, w, h, &format, &pixels, &why)) return result_fail(why);
    int stored = aerial ? SHEET_JPEG : format == SHEET_GIF ? SHEET_GIF : SHEET_PNG;
    Result saved = result_fail(std::string("The sheet's path in ") + mapsDir + " is too long");
    if (sheet_path(outPath, SHEET_PATH_MAX, mapsDir, lat, lon, level, bigMaps, stored)) {
        saved = stored == format && format != SHEET_JPEG
                    ? sheetStoreWithRecord(outPath, format, reply.data, reply.size, record)
                    : sheetStorePixels(outPath, stored, pixels, w, h, record, temp);
    }
    free(pixels);
    return saved;
}

}  // namespace

Result wmsDownloadSheet(const WmsSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                        const char* mapsDir, char* outPath) {
    if (!source || !source->url[0] || !outPath) return result_fail("No map service (Wms=) to ask");
    SheetTempFiles temp;
    sheetTempFilesMake(&temp);
    Result stored = fetchAndStore(source, aerial, lat, lon, level, bigMaps, mapsDir, outPath, &temp);
    sheetTempFilesRemove(&temp);
    return stored;
}
