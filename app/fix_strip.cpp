#include "app/fix_strip.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/navigation.h"
#include "app/night_palette.h"
#include "app/pane_place.h"
#include "app/position_refresh.h"
#include "app/stale_fix.h"
#include "maps/map_view.h"
#include "nav/coordinate_text.h"
#include "platform/platform.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"

namespace {

constexpr int kTextHeight = 16;
constexpr uint32_t kDayText = 0x000000, kDayHalo = 0xFFFFFF;
constexpr uint32_t kNightText = NIGHT_READOUT_TEXT, kNightHalo = NIGHT_READOUT_OUTLINE;

}  // namespace

namespace {

std::string formatted(double lat, double lon) {
    return coordinate_text_format(lat, lon, static_cast<CoordinateForm>(app_window.pointerForm));
}

void gpsText(const AppSettings* s, char* out, size_t size) {
    out[0] = 0;
    if (!s->connected) return;
    int mode = gps_fix_mode();
    if (!gps_has_position() || mode <= 0) {
        snprintf(out, size, "GPS: no fix");
        if (stale_fix_stale() && gps_has_position()) snprintf(out, size, "GPS: fix lost");
        return;
    }
    char where[96];
    snprintf(where, sizeof where, "%s", formatted(gps_latitude(), gps_longitude()).c_str());
    int used = gps_satellites_used();
    const char* kind = mode >= 3 ? "3D" : "2D";
    if (used > 0) snprintf(out, size, "GPS %s  %s %d sat%s", where, kind, used, stale_fix_stale() ? "  (old)" : "");
    else snprintf(out, size, "GPS %s  %s%s", where, kind, stale_fix_stale() ? "  (old)" : "");
}

}  // namespace

void fix_strip_text(char* out, size_t size) {
    const AppSettings* s = app_window.settings;
    out[0] = 0;
    if (!s) return;
    // The pointer over the map: where it points, read as a click would be.
    double lat, lon;
    const auto& p = app_window.pointer;
    if (p.over && pane_place_to_degrees(p.x, p.y, &lat, &lon)) {
        snprintf(out, size, "Pointer %s", formatted(lat, lon).c_str());
        return;
    }
    gpsText(s, out, size);
}

void fix_strip_pointer_moved(int x, int y) {
    auto& p = app_window.pointer;
    int over = nav_in_pane(x, y) ? 1 : 0;
    if (!over && !p.over) return;
    p.over = over;
    p.x = x;
    p.y = y;
    platform_invalidate(0);
}

int fix_strip_shown(int paneWidth, int paneHeight) {
    char text[160];
    fix_strip_text(text, sizeof text);
    return text[0] && paneWidth >= app_px(120) && paneHeight >= 3 * app_px(kTextHeight);
}

void fix_strip_draw(int paneX, int paneY, int paneWidth, int paneHeight, int night) {
    char text[160];
    fix_strip_text(text, sizeof text);
    if (!fix_strip_shown(paneWidth, paneHeight)) return;
    const int height = app_px(kTextHeight);   // at the screen's scale
    int x = paneX + app_px(6), y = paneY + paneHeight - height - app_px(4);
    uint32_t halo = night ? kNightHalo : kDayHalo, ink = night ? kNightText : kDayText;
    for (int d = 0; d < 4; d++)
        platform_draw_text(x + (d == 0) - (d == 1), y + (d == 2) - (d == 3), text, height, 700, halo);
    platform_draw_text(x, y, text, height, 700, ink);
}
