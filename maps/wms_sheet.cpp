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
    if (wms_service_message(reply.data, reply.size, message, sizeof message)) {
        *why = std::string("The map service sent no sheet: ") + message;
        return 0;
    }
    if (t.status != 200) {
        *why = "The map service answered HTTP " + std::to_string(t.status) + " and no sheet";
        return 0;
    }
    *format = sheet_image_format(reply.data, reply.size);
    int dw = 0, dh = 0;
    if (*format < 0 || (*format == SHEET_GIF && !gif_is_complete(reply.data, reply.size)) ||
        !sheet_image_decode_file(temp->image, *format, pixels, &dw, &dh)) {
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
    int expected = aerial ? SHEET_JPEG : strcmp(wms_image_format(source), "image/gif") == 0 ? SHEET_GIF : SHEET_PNG;
    if (!sheet_path(outPath, SHEET_PATH_MAX, mapsDir, lat, lon, level, bigMaps, expected)) {
        return result_fail(std::string("The sheet's path in ") + mapsDir + " is too long");
    }
    long scale = zoom_level_scale(level);
    double x = 0, y = 0, angle = 0;
    int epsg = 0;
    if (!sheet_download_plane_centre(lat, lon, level, bigMaps, &x, &y, &angle, &epsg)) {
        return result_fail("The projection cannot place the sheet");
    }
    WmsBox box = wms_sheet_box(x, y, scale, w, h);
    box.epsg = epsg;
    SheetExtent e = {scale, x, y, box.minX, box.minY, box.maxX, box.maxY, angle, epsg};
    char record[SHEET_GIF_RECORD_MAX + 1];
    char url[SHEET_URL_MAX];
    if (sheet_extent_format(record, sizeof record, &e) <= 0 || !wms_get_map_url(url, sizeof url, source, &box, w, h)) {
        return result_fail("The map request is too long (Wms= and its keys)");
    }

    HttpTransfer t;
    Reply reply;
    if (Result got = sheet_download_fetch(url, temp->image, &t); !got) return got;
    if (!sheet_download_read_file(temp->image, SHEET_IMAGE_BYTES_MAX, &reply.data, &reply.size)) {
        return result_fail("The map service's reply cannot be read back");
    }
    int format = -1;
    unsigned char* pixels = nullptr;
    if (!checkReply(t, reply, temp, w, h, &format, &pixels, &why)) return result_fail(why);
    int stored = aerial ? SHEET_JPEG : format == SHEET_GIF ? SHEET_GIF : SHEET_PNG;
    Result saved = result_fail(std::string("The sheet's path in ") + mapsDir + " is too long");
    if (sheet_path(outPath, SHEET_PATH_MAX, mapsDir, lat, lon, level, bigMaps, stored)) {
        saved = stored == format && format != SHEET_JPEG
                    ? sheet_download_store_with_record(outPath, format, reply.data, reply.size, record)
                    : sheet_download_store_pixels(outPath, stored, pixels, w, h, record, temp);
    }
    free(pixels);
    return saved;
}

}  // namespace

Result wms_download_sheet(const WmsSource* source, int aerial, double lat, double lon, int level, int bigMaps,
                        const char* mapsDir, char* outPath) {
    if (!source || !source->url[0] || !outPath) return result_fail("No map service (Wms=) to ask");
    SheetTempFiles temp;
    sheet_download_temp_files_make(&temp);
    Result stored = fetchAndStore(source, aerial, lat, lon, level, bigMaps, mapsDir, outPath, &temp);
    sheet_download_temp_files_remove(&temp);
    return stored;
}
