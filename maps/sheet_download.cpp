#include "maps/sheet_download.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "maps/jpeg_sheet.h"
#include "maps/map_view.h"
#include "maps/sheet_dispatch.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_extent.h"
#include "maps/sheet_image.h"
#include "maps/sheet_store.h"
#include "maps/wms_sheet.h"
#include "maps/zoom_levels.h"
#include "net/http_client.h"
#include "platform/platform.h"
#include "settings/app_settings.h"

namespace {

// Far above any sheet the server renders; a bound on what is read back.
const size_t kImageMax = 64u << 20;
// A reply page and a sheet image are both far smaller than this; a server
// sending more (or dripping) ends the transfer instead of filling the disk.
const int64_t kTransferMaxBytes = 4 << 20;
const int kTransferDeadlineMs = 60000;

// Set at exit: transfers in flight end within a tenth of a second.
std::atomic<int> cancelled{0};

void cancelDownloads(int cancel) { cancelled = cancel; }

}  // namespace

const std::atomic<int>* sheetDownloadCancelFlag() { return &cancelled; }

namespace {

int fetch(const char* url, const char* file) {
    HttpTransfer t;
    t.cancel = &cancelled;
    t.maxBytes = kTransferMaxBytes;
    t.deadlineMs = kTransferDeadlineMs;
    return HttpTransferToFile(url, nullptr, file, &t);
}

bool isStoredSheet(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// What every download has in common before the image is fetched.
struct SheetRequest {
    long scale;
    double x, y, angle;
    char root[SHEET_URL_MAX];
};

// Steps up to the request: 0 = sheet missing and request ready, 1 = failure,
// 2 = the sheet is in the store already.
int prepare(double lat, double lon, int level, const AppSettings* settings, char* outPath, int bigMaps,
            int format, SheetRequest* request) {
    if (!settings || !outPath) return 1;
    if (!sheetPath(outPath, SHEET_PATH_MAX, settings->mapsDir, lat, lon, level, bigMaps, format)) return 1;
    if (isStoredSheet(outPath)) return 2;
    // A topographic sheet from a WMS may be stored as PNG.
    char png[SHEET_PATH_MAX];
    if (format == SHEET_GIF && sheetPath(png, sizeof png, settings->mapsDir, lat, lon, level, bigMaps, SHEET_PNG) &&
        isStoredSheet(png)) {
        snprintf(outPath, SHEET_PATH_MAX, "%s", png);
        return 2;
    }
    sheetCreateFolders(settings->mapsDir, lat, lon);
    request->scale = zoomScale(level);
    if (!sheetCentreAndAngle(lat, lon, &request->x, &request->y, &request->angle)) return 1;
    return sheetServerRoot(settings, request->root, sizeof request->root) ? 0 : 1;
}

// The record as it will read back; 0 when the reply's extent cannot be one.
int extentRecord(const SheetRequest* request, const SheetReply* reply, char* out, size_t size) {
    SheetExtent e = {request->scale, request->x, request->y, reply->minX, reply->minY, reply->maxX, reply->maxY,
                     request->angle};
    int len = sheetFormatExtentRecord(out, size, &e);
    SheetExtent back;
    return len > 0 && sheetParseExtentRecord(out, static_cast<size_t>(len), &back);
}

// Fetches the reply and, when it gives a usable extent, the image it names,
// into the temporary files; record receives the extent record.
int fetchImage(const char* url, const SheetRequest* request, const SheetTempFiles* temp, char* record,
               size_t recordSize) {
    SheetReply reply;
    if (!fetch(url, temp->reply)) return 0;
    if (!sheetParseReply(temp->reply, &reply)) return 0;
    if (!extentRecord(request, &reply, record, recordSize)) return 0;
    char imageUrl[SHEET_URL_MAX];
    if (!sheetImageUrl(imageUrl, sizeof imageUrl, request->root, reply.imageName)) return 0;
    return fetch(imageUrl, temp->image);
}

// A whole GIF that the decoder reads: its bytes, and its pixels when asked.
int readGoodGif(const char* path, unsigned char** data, size_t* size, unsigned char** pixels, int* w, int* h) {
    if (!sheetReadWholeFile(path, kImageMax, data, size)) return 0;
    unsigned char* decoded = nullptr;
    int dw = 0, dh = 0;
    if (gifIsComplete(*data, *size) && decodeSheetFile(path, SHEET_GIF, &decoded, &dw, &dh)) {
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

int storeWithRecord(const char* outPath, int format, const unsigned char* image, size_t size,
                    const char* record) {
    unsigned char* sheet = nullptr;
    size_t sheetSize = 0;
    int ok = format == SHEET_JPEG ? sheetInsertExtentJpeg(image, size, record, &sheet, &sheetSize)
                                  : sheetInsertExtentGif(image, size, record, &sheet, &sheetSize);
    ok = ok && sheetStoreAtomically(outPath, sheet, sheetSize);
    free(sheet);
    return ok;
}

int downloadTopo(const SheetRequest* request, const SheetTempFiles* temp, const char* outPath, int bigMaps,
                 int rose, int grid) {
    char url[SHEET_URL_MAX], record[SHEET_GIF_RECORD_MAX + 1];
    if (!sheetTopoRequestUrl(url, sizeof url, request->root, request->x, request->y, request->scale, bigMaps, rose,
                             grid, request->angle))
        return 1;
    if (!fetchImage(url, request, temp, record, sizeof record)) return 1;
    unsigned char* image = nullptr;
    size_t size = 0;
    if (!readGoodGif(temp->image, &image, &size, nullptr, nullptr, nullptr)) return 1;
    int ok = storeWithRecord(outPath, SHEET_GIF, image, size, record);
    free(image);
    return ok ? 0 : 1;
}

int downloadAerial(const SheetRequest* request, const SheetTempFiles* temp, const char* outPath, int bigMaps) {
    char url[SHEET_URL_MAX], record[SHEET_GIF_RECORD_MAX + 1];
    if (!sheetAerialRequestUrl(url, sizeof url, request->root, request->x, request->y, request->scale, bigMaps))
        return 1;
    if (!fetchImage(url, request, temp, record, sizeof record)) return 1;

    unsigned char* gif = nullptr;
    size_t gifSize = 0;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    int decoded = readGoodGif(temp->image, &gif, &gifSize, &pixels, &w, &h);
    free(gif);
    if (!decoded) {
        platform_warn("Error in loading the GIF image");
        return 1;
    }
    int written = jpeg_write_rgb(temp->jpeg, pixels, w, h);
    free(pixels);
    if (!written) {
        platform_warn("Error in saving the JPG image");
        return 1;
    }
    unsigned char* jpeg = nullptr;
    size_t jpegSize = 0;
    if (!sheetReadWholeFile(temp->jpeg, kImageMax, &jpeg, &jpegSize)) return 1;
    // A writer with another segment layout gives no sheet at all, rather
    // than one whose record sits where no reader looks.
    int ok = storeWithRecord(outPath, SHEET_JPEG, jpeg, jpegSize, record);
    free(jpeg);
    return ok ? 0 : 1;
}

}  // namespace

int downloadSheet(double lat, double lon, int level, const AppSettings* settings, char* outPath, int bigMaps,
                  int rose, int grid) {
    SheetRequest request;
    int state = prepare(lat, lon, level, settings, outPath, bigMaps, SHEET_GIF, &request);
    if (state != 0) return state == 2 ? 0 : 1;
    if (settings->wms.url[0])
        return wmsDownloadSheet(&settings->wms, 0, lat, lon, level, bigMaps, settings->mapsDir, outPath);
    SheetTempFiles temp;
    sheetTempFilesMake(&temp);
    int result = downloadTopo(&request, &temp, outPath, bigMaps, rose, grid);
    sheetTempFilesRemove(&temp);
    return result;
}

int downloadAerialSheet(double lat, double lon, int level, const AppSettings* settings, char* outPath,
                        int bigMaps) {
    SheetRequest request;
    int state = prepare(lat, lon, level, settings, outPath, bigMaps, SHEET_JPEG, &request);
    if (state != 0) return state == 2 ? 0 : 1;
    if (settings->wmsAerial.url[0])
        return wmsDownloadSheet(&settings->wmsAerial, 1, lat, lon, level, bigMaps, settings->mapsDir, outPath);
    SheetTempFiles temp;
    sheetTempFilesMake(&temp);
    int result = downloadAerial(&request, &temp, outPath, bigMaps);
    sheetTempFilesRemove(&temp);
    return result;
}

void sheet_download_install() {
    sheet_download_hooks.downloadSheet = downloadSheet;
    sheet_download_hooks.downloadAerialSheet = downloadAerialSheet;
    sheet_download_hooks.cancelDownloads = cancelDownloads;
}
