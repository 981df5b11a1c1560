#include "app/track_stats_dialog.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/app_state.h"
#include "app/client_frame.h"
#include "tracks/gpx_recording.h"
#include "app/navigation.h"
#include "app/pane_place.h"
#include "app/track_overlay.h"
#include "app/view_pane.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "nav/distance_text.h"
#include "settings/app_settings.h"
#include "tracks/gpx_reader.h"
#include "settings/menu_ids.h"

TrackMark app_track_mark;

namespace {

std::string figure(const char* name, double value, const char* (*text)(double, char, char*, size_t), char unit) {
    char out[48] = "unknown";
    if (std::isfinite(value)) text(value, unit, out, sizeof out);
    return std::string(name) + "\t" + out;
}

const char* durationText(double seconds, char, char* out, size_t size) { return duration_text(seconds, out, size); }

void read(TrackStatsDialog* d) {
    d->figures.clear();
    d->profile.clear();
    d->why.clear();
    d->markedMetres = NAN;
    if (d->chosen < 0 || d->chosen >= static_cast<int>(d->paths.size())) return;
    GpxData data;
    const std::string& path = d->paths[d->chosen];
    // The recording may be between a point's bytes: a second reading finds it whole.
    if (!gpx_read_file(path.c_str(), &data, &d->why) && !gpx_read_file(path.c_str(), &data, &d->why)) {
        d->why = path + ": " + d->why;
        return;
    }
    d->why.clear();
    TrackStats t = track_stats(data);
    char u = d->speedUnit;
    d->figures = {
        figure("Length", t.metres, distance_text, u),
        figure("Duration", t.seconds, durationText, u),
        figure("Moving time", t.movingSeconds, durationText, u),
        figure("Average speed (moving)", t.averageMps, speed_text, u),
        figure("Top speed", t.topMps, speed_text, u),
        figure("Ascent", t.ascentMetres, height_text, u),
        figure("Descent", t.descentMetres, height_text, u),
        "Points\t" + std::to_string(t.points),
    };
    d->profile = track_profile(data);
}

void choose(TrackStatsDialog* d, int index) {
    d->chosen = index;
    read(d);
}

// The view to (lat, lon) when it lies off the pane; it stays there, as
// after a drag.
void bringIntoView(double lat, double lon) {
    AppSettings* s = app_window.settings;
    double x, y, cx, cy, mpp;
    int plane;
    if (pane_place_from_degrees(lat, lon, &x, &y) && nav_in_pane(static_cast<int>(x), static_cast<int>(y))) return;
    if (!s || !view_pane_centre_now(s, &plane, &cx, &cy, &mpp) || !view_plane_from_degrees(plane, lat, lon, &x, &y))
        return;
    if (s->autoPan) {
        s->autoPan = 0;
        platform_menu_check(MENU_AUTO_PAN, 0);
    }
    view_pane_move_to(s, plane, x, y, map_view.zoomLevel);
}

void pick(TrackStatsDialog* d, double metres) {
    int i = track_profile_at(d->profile, metres);
    if (i < 0) return;
    const TrackProfilePoint& p = d->profile[static_cast<size_t>(i)];
    d->markedMetres = p.metres;
    app_track_mark = TrackMark{1, p.lat, p.lon};
    bringIntoView(p.lat, p.lon);
    platform_invalidate(0);
}

}  // namespace

void track_stats_dialog_init(TrackStatsDialog* d) {
    *d = TrackStatsDialog{};
    d->speedUnit = app_window.settings ? app_window.settings->speedUnit : 0;
    d->choose = choose;
    d->pick = pick;
    for (const std::string& path : track_overlay_paths()) {
        d->sources.push_back(std::filesystem::path(path).filename().string());
        d->paths.push_back(path);
    }
    // The file opened last is the one most likely asked about.
    d->chosen = static_cast<int>(d->paths.size()) - 1;
    char recording[1024];
    if (gpx_recording_file(recording, sizeof recording)) {
        d->sources.push_back("Track being recorded");
        d->paths.push_back(recording);
        if (d->chosen < 0) d->chosen = static_cast<int>(d->paths.size()) - 1;
    }
    read(d);
}

void command_track_stats() {
    app_track_mark.shown = 0;
    TrackStatsDialog d;
    track_stats_dialog_init(&d);
    if (d.paths.empty()) {
        platform_warn("No track to describe: open a GPX file (Gps > Open Track) or record one "
                      "(Options > Track with Gpx= set in kiv_ini.txt).");
        return;
    }
    platform_invalidate(0);
    platform_run_dialog(PLATFORM_DIALOG_TRACK_STATS, &d);
}

void track_mark_draw(ClientFrame* f, int paneX, int paneY, int w, int h) {
    double x, y;
    if (!app_track_mark.shown || !pane_place_from_degrees(app_track_mark.lat, app_track_mark.lon, &x, &y)) return;
    int cx = static_cast<int>(std::floor(x)), cy = static_cast<int>(std::floor(y));
    // A ring of white round black, so it shows over any sheet and line.
    frame_marked(f, cx - 7, cy - 7, cx + 8, cy + 8);
    for (int pass = 0; pass < 2; pass++)
        for (int dy = -7; dy <= 7; dy++)
            for (int dx = -7; dx <= 7; dx++) {
                double r = std::hypot(dx, dy);
                bool on = pass ? r >= 4.5 && r < 5.5 : r >= 3.5 && r < 6.5;
                int px = cx + dx, py = cy + dy;
                if (!on || px < paneX || py < paneY || px >= paneX + w || py >= paneY + h) continue;
                frame_fill_rect(f, px, py, 1, 1, pass ? RGB_BLACK : RGB_WHITE);
            }
}
