// OGC WMS GetMap as a sheet source: the request for one sheet and the
// service's error reply. The sheet is the same one the CGI server renders
// (centre, scale, pixel size); its bounding box in EPSG:3978 is both the
// request and the stored extent record, so positions land exactly.
#pragma once
#include <cstddef>

struct WmsSource;

struct WmsBox {
    double minX, minY, maxX, maxY;
    int epsg = 0;  // 0: EPSG:3978; 3857: Web Mercator
};

// The box centred on x, y, (width - 1) x (height - 1) pixel steps of the
// scale at 72 dpi: the extent the CGI server reports for the same sheet.
// Rounded to the micrometre so the record and the request agree.
WmsBox wms_sheet_box(double x, double y, long scale, int width, int height);

// "image/png" unless the source names image/jpeg or image/gif; "1.3.0"
// unless it names 1.1.1.
const char* wms_image_format(const WmsSource* source);
const char* wms_version(const WmsSource* source);

// The GetMap URL: the endpoint (which may carry its own parameters) and
// SERVICE, VERSION, REQUEST, LAYERS, STYLES, CRS (1.3.0) or SRS (1.1.1)
// EPSG:3978 (EPSG:3857 for a box in Web Mercator), BBOX, WIDTH, HEIGHT,
// FORMAT. Both are projected with easting first in both versions. 1, or 0 (out empty) when it does not fit.
int wms_get_map_url(char* out, size_t size, const WmsSource* source, const WmsBox* box, int width, int height);

// 1 when the bytes are an XML reply (a ServiceExceptionReport); out then
// holds the first exception's text, blanks folded, entities decoded.
int wms_service_message(const unsigned char* data, size_t dataSize, char* out, size_t outSize);
