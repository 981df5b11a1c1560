#include "maps/sheet_download.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "maps/jpeg_sheet.h"
#include "maps/map_view.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_source.h"
#include "maps/sheet_store.h"
#include "maps/tile_sheet.h"
#include "maps/wms_sheet.h"
#include "maps/zoom_levels.h"
#include "net/http_client.h"
#include "settings/app_settings.h"

namespace {

const int kTransferDeadlineMs = 60000;

// Set at exit: transfers in flight end within a tenth of a second.
std::atomic<int> cancelled{0};

void cancelDownloads(int cancel) { cancelled = cancel; }

}  // namespace

Result sheet_download_fetch(const char* url, const char* file, HttpTransfer* t) {
    t->cancel = &cancelled;
    t->maxBytes = static_cast<int64_t>(SHEET_TRANSFER_BYTES_MAX);
    // A caller with less time left (the deadline of a whole sheet) keeps it.
    t->deadlineMs = t->deadlineMs > 0 && t->deadlineMs < kTransferDeadlineMs ? t->deadlineMs : kTransferDeadlineMs;
    if (HttpTransferToFile(url, nullptr, file, t)) return result_ok();
    const char* said = t->status != 0                 ? "The map server's reply broke off: "
                       : t->stop == HTTP_FAILED        ? "The map server cannot be reached: "
                                                       : "The map server does not answer: ";
    return result_fail(std::string(said) + (t->error[0] ? t->error : "no reply"));
}

namespace {

// What every download has in common before the image is fetched.
struct SheetRequest {
    long scale;
    double x, y, angle;
    int epsg;
    char root[SHEET_URL_MAX];
};

// Steps up to the request: 0 = sheet to fetch and request ready, 1 =
// failure, 2 = the sheet is in the store already (and not fetched afresh).
int prepare(double lat, double lon, int level, const AppSettings* settings, char* outPath, int bigMaps,
            int format, int fresh, SheetRequest* request, std::string* why) {
    if (!settings || !outPath) return 1;
    const char* store = sheet_source_store_dir(settings, format == SHEET_JPEG);
    if (sheet_stored(outPath, store, lat, lon, level, bigMaps, format) >= 0) {
        if (!fresh) return 2;
        // Fetched afresh in the format asked (a WMS names its own).
        sheet_path(outPath, SHEET_PATH_MAX, store, lat, lon, level, bigMaps, format);
    } else if (!outPath[0]) {
        *why = std::string("The sheet's path in ") + store + " is too long";
        return 1;
    }
    std::string folder(outPath, strrchr(outPath, '/') ? strrchr(outPath, '/') - outPath : 0);
    if (Result made = sheet_create_folder_of(store, folder.c_str()); !made) {
        *why = made.why;
        return 1;
    }
    request->scale = zoom_level_scale(level);
    if (!sheet_download_plane_centre(lat, lon, level, bigMaps, &request->x, &request->y, &request->angle, &request->epsg)) {
        *why = "The projection cannot place the sheet";
        return 1;
    }
    if (sheet_download_server_root(settings, request->root, sizeof request->root)) return 0;
    *why = "The map server's address (Server=) is too long";
    return 1;
}

// The record as it will read back; 0 when the reply's extent cannot be one.
int extentRecord(const SheetRequest* request, const SheetReply* reply, char* out, size_t size) {
    SheetExtent e = {request->scale, request->x, request->y, reply->minX, reply->minY, reply->maxX, reply->maxY,
                     request->angle, request->epsg};
    int len = sheet_extent_format(out, size, &e);
    SheetExtent back;
    return len > 0 && sheet_extent_parse(out, static_cast<size_t>(len), &back);
}

// A transfer that got a whole reply, but an error status.
int answeredWell(const HttpTransfer& t, std::string* why) {
    if (t.status < 400) return 1;
    *why = "The map server answered HTTP " + std::to_string(t.status);
    return 0;
}

// Fetches the reply and, when it gives a usable extent, the image it names,
// into the temporary files; record receives the extent record.
int fetchImage(const char* url, const SheetRequest* request, const SheetTempFiles* temp, char* record,
               size_t recordSize, std::string* why) {
    SheetReply reply;
    HttpTransfer t;
    if (Result got = sheet_download_fetch(url, temp->reply, &t); !got) {
        *why = got.why;
        return 0;
    }
    if (!answeredWell(t, why)) return 0;
    if (!sheet_download_parse_reply(temp->reply, &reply)) {
        *why = "The map server's reply names no sheet image with its extent";
        std::string says = sheet_download_reply_message(temp->reply);
        if (!says.empty()) *why += ": " + says;
        return 0;
    }
    if (!extentRecord(request, &reply, record, recordSize)) {
        *why = "The map server's reply gives an empty extent";
        return 0;
    }
    char imageUrl[SHEET_URL_MAX];
    if (!sheet_download_image_url(imageUrl, sizeof imageUrl, request->root, reply.imageName)) {
        *why = "The sheet image's address is too long";
        return 0;
    }
    HttpTransfer image;
    if (Result got = sheet_download_fetch(imageUrl, temp->image, &image); !got) {
        *why = got.why;
        return 0;
    }
    return answeredWell(image, why);
}

// A whole GIF that the decoder reads: its bytes, and its pixels when asked.
int readGoodGif(const char* path, unsigned char** data, size_t* size, unsigned char** pixels, int* w, int* h,
                std::string* why) {
    *why = "The map server sent no readable GIF image";
    if (!sheet_download_read_file(path, SHEET_IMAGE_BYTES_MAX, data, size)) return 0;
    unsigned char* decoded = nullptr;
    int dw = 0, dh = 0;
    if (gif_is_complete(*data, *size) && sheet_image_decode_file(path, SHEET_GIF, &decoded, &dw, &dh)) {
        if (pixels) {
            *pixels = decoded;
            *w = dw;
            *h = dh;
        } else {
            free(decoded);
        }
        return 1;
    }
    free(*data);
    *data = nullptr;
    return 0;
}

Result downloadTopo(const SheetRequest* request, const SheetTempFiles* temp, const char* outPath, int bigMaps,
                    int rose, int grid) {
    std::string why;
    char url[SHEET_URL_MAX], record[SHEET_GIF_RECORD_MAX + 1];
    if (!sheet_download_topo_url(url, sizeof url, request->root, request->x, request->y, request->scale, bigMaps, rose,
                             grid, request->angle, request->epsg)) {
        return result_fail("The map request is too long");
    }
    if (!fetchImage(url, request, temp, record, sizeof record, &why)) return result_fail(why);
    unsigned char* image = nullptr;
    size_t size = 0;
    if (!readGoodGif(temp->image, &image, &size, nullptr, nullptr, nullptr, &why)) return result_fail(why);
    Result stored = sheet_download_store_with_record(outPath, SHEET_GIF, image, size, record);
    free(image);
    return stored;
}

Result downloadAerial(const SheetRequest* request, const SheetTempFiles* temp, const char* outPath, int bigMaps) {
    std::string why;
    char url[SHEET_URL_MAX], record[SHEET_GIF_RECORD_MAX + 1];
    if (!sheet_download_aerial_url(url, sizeof url, request->root, request->x, request->y, request->scale, bigMaps,
                               request->epsg)) {
        return result_fail("The map request is too long");
    }
    if (!fetchImage(url, request, temp, record, sizeof record, &why)) return result_fail(why);

    unsigned char* gif = nullptr;
    size_t gifSize = 0;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    int decoded = readGoodGif(temp->image, &gif, &gifSize, &pixels, &w, &h, &why);
    free(gif);
    if (!decoded) return result_fail(why);
    int written = jpeg_write_rgb(temp->jpeg, pixels, w, h);
    free(pixels);
    unsigned char* jpeg = nullptr;
    size_t jpegSize = 0;
    if (!written || !sheet_download_read_file(temp->jpeg, SHEET_IMAGE_BYTES_MAX, &jpeg, &jpegSize)) {
        return result_fail("Error in saving the JPG image");
    }
    Result stored = sheet_download_store_with_record(outPath, SHEET_JPEG, jpeg, jpegSize, record);
    free(jpeg);
    return stored;
}

Result download(int aerial, double lat, double lon, int level, const AppSettings* settings, char* outPath,
                int bigMaps, int rose, int grid, int fresh) {
    SheetRequest request;
    std::string why;
    int state = prepare(lat, lon, level, settings, outPath, bigMaps, aerial ? SHEET_JPEG : SHEET_GIF, fresh,
                        &request, &why);
    if (state != 0) return state == 2 ? result_ok() : result_fail(why);
    const TileSource* tiles = aerial ? &settings->tilesAerial : &settings->tiles;
    if (tiles->url[0]) {
        return tile_download_sheet(tiles, aerial, lat, lon, level, bigMaps, sheet_source_store_dir(settings, aerial),
                                   sheet_source_maps_root(settings), fresh, outPath);
    }
    const WmsSource* wms = aerial ? &settings->wmsAerial : &settings->wms;
    if (wms->url[0]) return wms_download_sheet(wms, aerial, lat, lon, level, bigMaps, sheet_source_store_dir(settings, aerial), outPath);
    SheetTempFiles temp;
    sheet_download_temp_files_make(&temp);
    Result result = aerial ? downloadAerial(&request, &temp, outPath, bigMaps)
                           : downloadTopo(&request, &temp, outPath, bigMaps, rose, grid);
    sheet_download_temp_files_remove(&temp);
    return result;
}

Result refetchSheet(int aerial, double lat, double lon, int level, const AppSettings* settings, char* outPath,
                    int bigMaps, int rose, int grid) {
    char old[SHEET_PATH_MAX];
    int stored = settings ? sheet_stored(old, sheet_source_store_dir(settings, aerial), lat, lon, level, bigMaps,
                                        aerial ? SHEET_JPEG : SHEET_GIF)
                          : -1;
    Result fetched = download(aerial, lat, lon, level, settings, outPath, bigMaps, rose, grid, 1);
    // A WMS may send another format than the stored sheet has: one file stays.
    if (fetched && stored >= 0 && strcmp(old, outPath) != 0) unlink(old);
    return fetched;
}

}  // namespace

Result sheet_download_topo(double lat, double lon, int level, const AppSettings* settings, char* outPath, int bigMaps,
                     int rose, int grid) {
    return download(0, lat, lon, level, settings, outPath, bigMaps, rose, grid, 0);
}

Result sheet_download_aerial(double lat, double lon, int level, const AppSettings* settings, char* outPath,
                           int bigMaps) {
    return download(1, lat, lon, level, settings, outPath, bigMaps, 0, 0, 0);
}

void sheet_download_install() {
    sheet_download_hooks.topoSheet = sheet_download_topo;
    sheet_download_hooks.aerialSheet = sheet_download_aerial;
    sheet_download_hooks.cancelDownloads = cancelDownloads;
    sheet_download_hooks.refetchSheet = refetchSheet;
}
