// Gps > Track Statistics...: the figures of an opened GPX file's tracks or
// of the track being recorded (nav/track_stats.h), with a plot of height
// and speed against distance. A click on the plot marks that point of the
// track on the map, and brings the view to it when it lies off the pane.
#pragma once
#include <string>
#include <vector>

#include "nav/track_stats.h"
#include "platform/platform.h"

struct ClientFrame;

// PLATFORM_DIALOG_TRACK_STATS: modal. The dialog shows the choice of
// sources, the figures and the plot, calls choose when the user picks
// another source and pick on a click on the plot.
enum { PLATFORM_DIALOG_TRACK_STATS = PLATFORM_DIALOG_MEASURE_FIRST };
struct TrackStatsDialog {
    std::vector<std::string> sources;  // what the choice lists
    std::vector<std::string> paths;    // the file of each
    int chosen;
    // "Length\t12.3 km" lines, in the units of Dash=; empty with why set
    // when the chosen file does not read.
    std::vector<std::string> figures;
    std::string why;
    std::vector<TrackProfilePoint> profile;
    char speedUnit;
    double markedMetres;               // along the profile; NaN while none is marked
    void (*choose)(TrackStatsDialog* d, int index);
    void (*pick)(TrackStatsDialog* d, double metres);
};

// The point of a track marked from the plot, until the next Track
// Statistics or Close Tracks.
struct TrackMark {
    int shown;
    double lat, lon;
};
extern TrackMark app_track_mark;

void command_track_stats();
// The dialog's record for the opened files and the recording (the first
// source chosen and read); what the command hands to the dialog.
void track_stats_dialog_init(TrackStatsDialog* d);

// The mark into the frame, clipped to the w x h of the pane the picture
// covers at client (paneX, paneY).
void track_mark_draw(ClientFrame* f, int paneX, int paneY, int w, int h);
