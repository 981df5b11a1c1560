#include <cmath>
#include <cstdio>
#include <cstring>

#include "maps/lcc.h"
#include "maps/sheet_download_parts.h"
#include "maps/view_plane.h"
#include "maps/world_grid.h"
#include "net/connectivity.h"
#include "settings/app_settings.h"

namespace {

// Web Mercator sheets name the map file of that plane (only the local map
// server has it; old servers are never asked for these sheets).
const char kMapserv[] =
    "/cgi-bin/mapserv?map=/home/atlas/mapdata/english/toporama%s.map"
    "&map_web_template=/home/atlas/mapdata/to_zope_new.html";

const char* mapFileSuffix(int epsg) { return epsg == VIEW_PLANE_WEB_MERCATOR ? "_3857" : ""; }

const char kTopoLayers[] =
    "other_features%20roads%20hydrography%20boundary%20builtup%20vegetation%20populated_places%20railway"
    "%20power_network%20manmade_features%20designated_areas%20water_features%20water_saturated_soils"
    "%20relief%20contours%20toponymy%20contour";

int fitted(int written, char* out, size_t size) {
    if (written >= 0 && static_cast<size_t>(written) < size) return 1;
    if (size) out[0] = '\0';
    return 0;
}

}  // namespace

int sheet_download_server_root(const AppSettings* settings, char* out, size_t size) {
    const char* root = settings && settings->serverUrl[0] ? settings->serverUrl : NET_DEFAULT_SERVER_URL;
    size_t len = strlen(root);
    // The request paths start with '/': one separator, not two.
    while (len > 0 && root[len - 1] == '/') len--;
    return fitted(snprintf(out, size, "%.*s", static_cast<int>(len), root), out, size);
}

int sheet_download_centre_and_angle(double lat, double lon, double* x, double* y, double* angle) {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!ll2lcc(&x0, &y0, lat, lon)) return 0;
    if (!ll2lcc(&x1, &y1, lat + 1.0 / 60.0, lon)) return 0;
    double a = 0.0;
    if (x1 != x0) {
        a = std::atan((y1 - y0) / (x1 - x0)) * 180.0 / 3.141592653589793;
        a += x0 >= 0 ? 90.0 : -90.0;
    }
    *x = x0;
    *y = y0;
    *angle = a;
    return 1;
}

int sheet_download_plane_centre(double lat, double lon, int level, int bigMaps, double* x, double* y, double* angle, int* epsg) {
    switch (world_grid_plane_of(lat, lon, level, bigMaps)) {
    case VIEW_PLANE_CANADA_LAMBERT:
        *epsg = 0;
        return sheet_download_centre_and_angle(lat, lon, x, y, angle);
    case VIEW_PLANE_WEB_MERCATOR:
        // Grid north is true north in Web Mercator.
        *epsg = VIEW_PLANE_WEB_MERCATOR;
        *angle = 0.0;
        return world_grid_to_mercator(lat, lon, x, y);
    default:
        return 0;
    }
}

int sheet_download_topo_url(char* out, size_t size, const char* root, double x, double y, long scale, int bigMaps,
                        int rose, int grid, double angle, int epsg) {
    char mapserv[sizeof kMapserv + 8];
    snprintf(mapserv, sizeof mapserv, kMapserv, mapFileSuffix(epsg));
    int written = snprintf(out, size, "%s%s&layers=%s%s%s&mapxy=%lf%%20%lf&scale=%d&mapsize=%d%%20%d"
                           "&map_northarrow_class_label_angle=%lf",
                           root, mapserv, rose ? "north_arrow%20" : "",
                           grid ? "million_grid%20t50k_grid%20grid_50k_3%20" : "", kTopoLayers, x, y,
                           static_cast<int>(scale), view_sheet_width(bigMaps), view_sheet_height(bigMaps), angle);
    return fitted(written, out, size);
}

int sheet_download_aerial_url(char* out, size_t size, const char* root, double x, double y, long scale, int bigMaps,
                          int epsg) {
    char mapserv[sizeof kMapserv + 8];
    snprintf(mapserv, sizeof mapserv, kMapserv, mapFileSuffix(epsg));
    int written = snprintf(out, size, "%s%s&layers=canimage&mapxy=%lf%%20%lf&scale=%d&mapsize=%d%%20%d", root,
                           mapserv, x, y, static_cast<int>(scale), view_sheet_width(bigMaps), view_sheet_height(bigMaps));
    return fitted(written, out, size);
}

int sheet_download_image_url(char* out, size_t size, const char* root, const char* imageName) {
    return fitted(snprintf(out, size, "%s/tmp/%s", root, imageName), out, size);
}
