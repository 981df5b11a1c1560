#include "app/commands_tracks.h"

#include <string>

#include "app/display_bitmap.h"
#include "app/track_overlay.h"
#include "app/track_stats_dialog.h"
#include "maps/map_view.h"
#include "platform/platform.h"

const char OPEN_TRACK_FILTERS[] = "GPX Files (*.GPX)|*.gpx|All Files (*.*)|*.*";

namespace {
int openTrackFilter = 0;
}

void command_open_track() {
    char path[1024];
    if (!platform_open_file_dialog(OPEN_TRACK_FILTERS, ".", "gpx", &openTrackFilter, path, sizeof path)) return;
    platform_busy_cursor(1);
    char why[256];
    int loaded = track_overlay_open(path, why, sizeof why);
    platform_busy_cursor(0);
    if (!loaded) {
        std::string text = std::string("Error in loading the GPX file ") + path + ": " + why;
        platform_warn(text.c_str());
        return;
    }
    platform_invalidate(0);
}

void command_close_tracks() {
    platform_busy_cursor(1);
    track_overlay_close_all();
    app_track_mark.shown = 0;   // a point of the tracks closed
    // The lines are in the display bitmap: back to the plain sheet.
    display_bitmap_rebuild(map_view);
    platform_invalidate(0);
    platform_busy_cursor(0);
}
