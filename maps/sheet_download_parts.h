// The pieces of a sheet download: the request, the reply, the checks on
// the image and the storing. Used by sheet_download.cpp, the tools and tests.
#pragma once
#include <atomic>
#include <cstddef>
#include <string>

#include "platform/result.h"

struct AppSettings;
struct HttpTransfer;

enum { SHEET_URL_MAX = 1024, SHEET_IMAGE_NAME_MAX = 256, SHEET_TEMP_NAME_MAX = 320 };
// Far above any sheet a server renders; a bound on what is read back.
constexpr size_t SHEET_IMAGE_BYTES_MAX = 64u << 20;
// A reply page, a sheet image and a tile are all far smaller than this; a
// server sending more (or dripping) ends the transfer instead of filling
// the disk, and an MBTiles tile above it is refused before it is read.
constexpr size_t SHEET_TRANSFER_BYTES_MAX = 4u << 20;

// The server root without trailing '/': settings->serverUrl, else the
// local map server's default address. 1, or 0 when it does not fit.
int sheet_download_server_root(const AppSettings* settings, char* out, size_t size);

// Map coordinates of the centre and the angle of grid north (degrees) for
// the north arrow, from one minute of latitude further north. 0 when the
// projection cannot place the point.
int sheet_download_centre_and_angle(double lat, double lon, double* x, double* y, double* angle);
// The same in the sheet's own plane: *epsg 0 for the Canadian grid (as
// above), 3857 for a Web Mercator sheet (metres of that plane, angle 0).
int sheet_download_plane_centre(double lat, double lon, int level, int bigMaps, double* x, double* y, double* angle, int* epsg);

// Request URLs. Return 1, or 0 (out empty) when the URL does not fit. With
// epsg 3857 (a Web Mercator sheet, x and y in that plane) the request names
// the local map server's toporama_3857.map.
int sheet_download_topo_url(char* out, size_t size, const char* root, double x, double y, long scale, int bigMaps,
                        int rose, int grid, double angle, int epsg = 0);
int sheet_download_aerial_url(char* out, size_t size, const char* root, double x, double y, long scale, int bigMaps,
                          int epsg = 0);
int sheet_download_image_url(char* out, size_t size, const char* root, const char* imageName);

struct SheetReply {
    int haveImage, haveExtent;
    char imageName[SHEET_IMAGE_NAME_MAX];  // "ntdb..." as the reply names it
    double minX, minY, maxX, maxY;
};
// Reads the reply page line by line: "<td>mapext</td>" gives the extent
// (fewer than four numbers fail at once), a line with "<td>image</td>" and
// "ntdb" the image and ends the reading. 1 when both were found.
int sheet_download_parse_reply(const char* path, SheetReply* reply);
// The words of a reply page that names no image, as MapServer writes its
// error there ("msDrawMap(): ... failed on layer ..."): its text without the
// markup, blanks folded, at most about 400 characters; empty when the page
// is no markup.
std::string sheet_download_reply_message(const char* path);

// 1 when the bytes are a whole GIF: header, screen, every block through to
// the trailer (0x3B).
int gif_is_complete(const unsigned char* data, size_t size);

// Names of one call's temporary files in the temporary folder ($TMPDIR,
// else /tmp; never the working folder, which may take no file), unique per
// process and call.
struct SheetTempFiles {
    char reply[SHEET_TEMP_NAME_MAX], image[SHEET_TEMP_NAME_MAX], jpeg[SHEET_TEMP_NAME_MAX];
};
void sheet_download_temp_files_make(SheetTempFiles* files);
// A name beside path for one transfer's bytes until they are whole:
// "<path>.part.<pid>.<serial>", never the name of another transfer.
std::string sheet_download_part_name(const std::string& path);
void sheet_download_temp_files_remove(const SheetTempFiles* files);

// GET of a reply page or a sheet image into file with the limits every
// sheet transfer shares: the size cap, the deadline and the cancel at exit.
// Ok when the whole body is in the file (an error status too: t->status
// says); else fails with the reason.
Result sheet_download_fetch(const char* url, const char* file, HttpTransfer* t);

// Reads a whole file (at most maxSize bytes) into a malloc'd buffer.
int sheet_download_read_file(const char* path, size_t maxSize, unsigned char** data, size_t* size);
// Stores the image (SHEET_GIF, SHEET_JPEG or SHEET_PNG bytes) at path with
// the extent record inserted, written whole beside path and renamed over
// it (a stored sheet stays until then). Fails with the reason.
Result sheet_download_store_with_record(const char* path, int format, const unsigned char* image, size_t size,
                            const char* record);
// Re-encodes decoded pixels into the store's format (SHEET_JPEG through
// the JPEG writer and temp->jpeg, else PNG) and stores them as above.
Result sheet_download_store_pixels(const char* path, int format, const unsigned char* pixels, int w, int h, const char* record,
                        const SheetTempFiles* temp);
