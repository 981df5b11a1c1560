#include "app/view_zoom_auto.h"

#include <cmath>

#include "maps/map_view.h"
#include "maps/sheet_store.h"
#include "maps/sheet_source.h"
#include "maps/view_plane.h"
#include "maps/view_scale.h"
#include "maps/world_grid.h"
#include "maps/zoom_levels.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

// Upper speeds of the bands in km/h, and the scale of each as a multiple
// of the finest level's: walking and town streets, town roads, country
// roads, highways, and faster.
struct Band {
    double upToKmh, ofFinest;
};
constexpr Band kBands[] = {{25, 1.0}, {55, 1.75}, {85, 2.5}, {115, 5.0}, {INFINITY, 10.0}};
constexpr int kBandCount = sizeof kBands / sizeof kBands[0];

AutoZoom autoZoom{-1, -1, 0};

// Offline the stored sheets decide: the band's level where its sheet under
// the vehicle is stored, else the nearest coarser level with one.
double offlineMpp(const AppSettings* s, double mpp, double lat, double lon) {
    int big = s->bigMaps ? 1 : 0;
    for (int level = view_scale_level(mpp, big); level >= 0; level--) {
        double sLat, sLon;
        const char* why;
        char path[SHEET_PATH_MAX];
        if (world_grid_snap(lat, lon, level, big, &sLat, &sLon, &why) == VIEW_PLANE_NONE) continue;
        if (sheet_stored(path, sheet_source_store_dir(s, s->satelliteImage), sLat, sLon, level, big,
                        s->satelliteImage ? SHEET_JPEG : SHEET_GIF) >= 0)
            return level == view_scale_level(mpp, big) ? mpp : view_level_mpp(level, big);
    }
    return mpp;
}

}  // namespace

int auto_zoom_band_of(double speed) {
    double kmh = std::isfinite(speed) && speed > 0 ? speed * 3.6 : 0;
    int band = 0;
    while (band < kBandCount - 1 && kmh >= kBands[band].upToKmh) band++;
    return band;
}

int auto_zoom_step(AutoZoom* state, double speed, int64_t nowSeconds) {
    int band = auto_zoom_band_of(speed);
    if (state->band < 0 || band == state->band) {
        state->band = band;
        state->pending = -1;
        return band;
    }
    if (band != state->pending) {
        state->pending = band;
        state->pendingSince = nowSeconds;
    }
    if (nowSeconds - state->pendingSince >= AUTO_ZOOM_HOLD_SECONDS) {
        state->band = band;
        state->pending = -1;
    }
    return state->band;
}

double auto_zoom_mpp(int band, int big) {
    if (band < 0) band = 0;
    if (band >= kBandCount) band = kBandCount - 1;
    return view_scale_clamp(view_level_mpp(ZOOM_FINEST, big) * kBands[band].ofFinest, big);
}

double auto_zoom_now(const AppSettings* s) {
    if (!s->autoZoom || !gps_has_position()) return 0;
    int band = auto_zoom_step(&autoZoom, gps_speed(), platform_monotonic_seconds());
    double mpp = auto_zoom_mpp(band, s->bigMaps ? 1 : 0);
    return s->online ? mpp : offlineMpp(s, mpp, gps_latitude(), gps_longitude());
}

void auto_zoom_reset() { autoZoom = AutoZoom{-1, -1, 0}; }
