#include "nav/utm.h"

#include <proj.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// The transform of the zone last asked for, one per thread (PROJ objects
// are not shared between threads); the pointer stays in one zone for long.
struct ZoneTransform {
    PJ_CONTEXT* ctx = nullptr;
    PJ* pj = nullptr;
    int epsg = 0;
    ~ZoneTransform() { drop(); }
    void drop() {
        proj_destroy(pj);
        proj_context_destroy(ctx);
        pj = nullptr;
        ctx = nullptr;
    }
    PJ* get(int code) {
        if (pj && code == epsg) return pj;
        drop();
        epsg = code;
        ctx = proj_context_create();
        char target[16];
        snprintf(target, sizeof target, "EPSG:%d", code);
        PJ* raw = proj_create_crs_to_crs(ctx, "EPSG:4326", target, nullptr);
        if (raw) {
            pj = proj_normalize_for_visualization(ctx, raw);  // longitude first, easting first
            proj_destroy(raw);
        }
        return pj;
    }
};

int zoneOf(double lat, double lon) {
    int zone = static_cast<int>(std::floor((lon + 180) / 6)) % 60 + 1;
    if (lat >= 56 && lat < 64 && lon >= 3 && lon < 12) return 32;   // south-west Norway
    if (lat >= 72 && lat < 84 && lon >= 0 && lon < 42)               // Svalbard
        return lon < 9 ? 31 : lon < 21 ? 33 : lon < 33 ? 35 : 37;
    return zone;
}

}  // namespace

int utm_from_degrees(double lat, double lon, UtmPoint* out) {
    if (!(lat >= -80 && lat <= 84) || !(lon >= -180 && lon <= 180)) return 0;
    if (lon == 180) lon = -180;
    int zone = zoneOf(lat, lon);
    thread_local ZoneTransform t;
    PJ* pj = t.get((lat >= 0 ? 32600 : 32700) + zone);
    if (!pj) return 0;
    PJ_COORD c = proj_trans(pj, PJ_FWD, proj_coord(lon, lat, 0, 0));
    if (!std::isfinite(c.xy.x) || !std::isfinite(c.xy.y)) return 0;
    static const char kBands[] = "CDEFGHJKLMNPQRSTUVWX";
    int band = std::min(19, static_cast<int>(std::floor((lat + 80) / 8)));
    *out = UtmPoint{zone, kBands[band], c.xy.x, c.xy.y};
    return 1;
}
