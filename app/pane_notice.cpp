#include "app/pane_notice.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/display_bitmap.h"
#include "app/night_palette.h"
#include "app/position_refresh.h"
#include "maps/map_view.h"
#include "maps/sheet_source.h"
#include "maps/view_plane.h"
#include "maps/zoom_levels.h"
#include "net/connectivity.h"
#include "platform/platform.h"
#include "settings/app_settings.h"

namespace {

constexpr unsigned char kNeutral[3] = {0xE4, 0xE0, 0xD4};
// Map servers render at 72 dots per inch: metres per pixel at a scale.
constexpr double kMetresPerPixelPerScale = 0.0254 / 72.0;
constexpr int kTextHeight = 14;

int placeholder = 0;
int noGrid = 0;
std::string notice;
int receiverNote = 0;   // below the notice, until a sheet is shown or a receiver connects

const char kNoReceiver[] =
    "No receiver set up yet. To connect one:\n"
    "- serial or USB: Options > Settings COM, then Gps > Connect\n"
    "- gpsd or NMEA over TCP: Com1=gpsd://localhost or\n"
    "  Com1=tcp://HOST:PORT in kiv_ini.txt, then Settings COM\n"
    "No receiver at hand? kivsim plays one (see kivsim --help).";

// Lines of text separated by '\n' from y down; returns the next line's y.
int drawLines(const std::string& text, int y) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        // At night black on the dimmed pane is hard to read: the read-outs'
        // amber on a black outline instead.
        if (app_window.night)
            for (int d = 0; d < 4; d++)
                platform_draw_text(APP_PANE_X + app_px(8) + (d == 0) - (d == 1), y + (d == 2) - (d == 3),
                                   line.c_str(), app_px(kTextHeight), 400, NIGHT_READOUT_OUTLINE);
        platform_draw_text(APP_PANE_X + app_px(8), y, line.c_str(), app_px(kTextHeight), 400,
                           app_window.night ? NIGHT_READOUT_TEXT : 0x000000);
        y += app_px(kTextHeight + 4);
        start = end + 1;
    }
    return y;
}

// Where the displayed kind of sheet comes from.
std::string sheetServerOf(const AppSettings* s) { return sheet_source_shown(s, s->satelliteImage); }

}  // namespace

void pane_placeholder_show() {
    MapView& v = map_view;
    int w = v.paneWidth > 0 ? v.paneWidth : view_sheet_width(0), h = v.paneHeight > 0 ? v.paneHeight : view_sheet_height(0);
    auto* pixels = static_cast<unsigned char*>(malloc(static_cast<size_t>(w) * h * 3));
    if (!pixels) return;
    for (size_t i = 0; i < static_cast<size_t>(w) * h; i++) memcpy(pixels + 3 * i, kNeutral, 3);
    free(v.pixels);
    v.pixels = pixels;
    v.imageWidth = w;
    v.imageHeight = h;
    display_bitmap_rebuild(v);
    double cx = 0, cy = 0, half = zoom_level_scale(v.zoomLevel) * kMetresPerPixelPerScale / 2;
    const AppSettings* s = app_window.settings;
    int plane = view_plane_of_sheet(v.sheetLat, v.sheetLon, v.zoomLevel, s && s->bigMaps ? 1 : 0);
    if (!view_plane_from_degrees(plane, v.sheetLat, v.sheetLon, &cx, &cy)) half = 0;   // nothing is placed
    map_view_hold_extents(&v, {cx, cy, cx - half * w, cy - half * h, cx + half * w, cy + half * h, plane, 0});
    placeholder = 1;
    noGrid = 0;
}

int pane_placeholder_shown() { return placeholder; }

void pane_notice_no_grid(const char* why) {
    MapView& v = map_view;
    pane_placeholder_show();
    v.extMinX = v.extMinY = v.extMaxX = v.extMaxY = 0;   // nothing is placed
    pane_notice_set(why);
    noGrid = 1;
}

int pane_notice_no_grid_shown() { return placeholder && noGrid; }

void pane_placeholder_clear() {
    noGrid = 0;
    placeholder = 0;
    notice.clear();
    receiverNote = 0;
}

void pane_notice_set(const char* text) { notice = text ? text : ""; }

void pane_notice_no_sheet(const AppSettings* s, const char* reason) {
    char where[96];
    app_format_position(where, sizeof where, map_view.sheetLat, map_view.sheetLon);
    std::string text = "No sheet stored for" + std::string(where + 5) + ", level " +
                       std::to_string(map_view.zoomLevel) + ",\nlooked for in " + sheet_source_store_dir(s, s->satelliteImage) + ".\n";
    if (reason && reason[0])
        text += std::string("From ") + sheetServerOf(s) + ":\n" + reason + ".";
    else if (!s->online)
        text += "Offline: no map server is asked.";
    else
        text += std::string("The map server ") + sheetServerOf(s) + " cannot be reached.";
    pane_notice_set(text.c_str());
}

void pane_notice_server_trouble(const AppSettings* s, const char* reason, char* out, size_t size) {
    // The host (and port) say which server; the rest of the address is noise here.
    std::string host = sheetServerOf(s);
    size_t start = host.find("://");
    host = host.substr(start == std::string::npos ? 0 : start + 3);
    host = host.substr(0, host.find('/'));
    // A server out of reach is said briefly; one that answered with a
    // fault has its own words shown.
    bool unreached = !reason || !reason[0] || strncmp(reason, "The map server cannot be reached", 32) == 0 ||
                     strncmp(reason, "The map server does not answer", 30) == 0;
    if (unreached) snprintf(out, size, "map server not answering: %s, retrying", host.c_str());
    else snprintf(out, size, "map server %s: %s, retrying", host.c_str(), reason);
}

void pane_notice_fetching(const AppSettings* s) {
    char where[96];
    app_format_position(where, sizeof where, map_view.sheetLat, map_view.sheetLon);
    std::string server = sheetServerOf(s);
    std::string text = "Fetching the sheet for" + std::string(where + 5) + ", level " +
                       std::to_string(map_view.zoomLevel) + ",\nfrom " + server + " ...";
    pane_notice_set(text.c_str());
}

void pane_notice_draw() {
    int y = drawLines(notice, APP_PANE_Y + app_px(8));   // at the screen's scale
    if (receiverNote) drawLines(kNoReceiver, notice.empty() ? y : y + app_px(kTextHeight + 4));
}

void pane_notice_reset() {
    noGrid = 0;
    placeholder = 0;
    notice.clear();
    receiverNote = 0;
}

void pane_notice_no_receiver() { receiverNote = 1; }

void pane_notice_receiver_connected() {
    if (!receiverNote) return;
    receiverNote = 0;
    platform_invalidate(0);
}
