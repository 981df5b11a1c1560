// Gps > Download Area...: the sheets of the current view at the levels the
// user picks, fetched in the background (two transfers at once) while a
// progress dialog runs that can be cancelled. The window keeps painting
// and following the receiver meanwhile. More than AREA_SHEETS_ASK_ABOVE
// sheets are fetched only when the user says yes to the count and size.
#pragma once
#include <cstdint>

#include "maps/zoom_levels.h"

struct AppSettings;

// PLATFORM_DIALOG_DOWNLOAD_AREA: the levels, with the sheet counts of the
// view at each. Result 1 to fetch the chosen ones.
struct DownloadAreaChoice {
    char area[160];                    // the view's corners, as the title writes positions
    int sheets[ZOOM_LEVELS];           // sheets of the view at each level
    int stored[ZOOM_LEVELS];           // of them already in the store
    int chosen[ZOOM_LEVELS];           // in and out: 1 = fetch this level
    int refresh;                       // out: 1 = renew the stored sheets too
};

// PLATFORM_DIALOG_DOWNLOAD_PROGRESS: the dialog calls poll a few times a
// second and shows text and percent; it closes itself once finished is
// set. Cancel (or closing it) calls cancel.
struct DownloadAreaProgress {
    char text[160];
    int percent;
    int finished;
    void (*poll)(DownloadAreaProgress* p);
    void (*cancel)();
};

void command_download_area(AppSettings* s);
// 1 while a fetch runs (also after Cancel, until its transfers end).
int  download_area_running();
// Timer: a fetch that has ended is cleared away.
void download_area_poll();
// Exit: cancels, cuts the transfers in flight short and waits for the
// workers to end.
void download_area_stop();
