// Auto Zoom by speed, as drivers expect: the view finer when slow, coarser
// when fast, one scale for each band of speeds. A band is taken once the
// speed has stayed in it for a few seconds, so a slowdown at a light or a
// speed hovering at a band's edge does not pump the scale. Offline, a band
// whose level has no stored sheet under the vehicle gives way to the
// nearest coarser level that has one, at its own scale.
#pragma once
#include <cstdint>

struct AppSettings;

enum { AUTO_ZOOM_HOLD_SECONDS = 4 };

struct AutoZoom {
    int band;                          // in use; -1 before the first fix
    int pending;                       // the band the speed is in, and since when
    int64_t pendingSince;
};

// The band of a speed in metres per second, 0 the slowest.
int auto_zoom_band_of(double speed);
// The band in use after a fix at speed (metres per second) at nowSeconds
// on the monotonic clock.
int auto_zoom_step(AutoZoom* state, double speed, int64_t nowSeconds);
// The view's metres per pixel in a band.
double auto_zoom_mpp(int band, int big);

// The scale Auto Zoom gives the view for the fix now (metres per pixel),
// or 0 while it is off or there is no position.
double auto_zoom_now(const AppSettings* s);
void auto_zoom_reset();
