// The GPS monitor dialog as a plain record that a toolkit renders: the
// texts of its static controls, written from the fix record on the
// dialog's own timer. Modeless; each Monitor command makes another record,
// so several monitors run side by side. Main thread.
#pragma once
#include "app/dialog_rect.h"
#include "app/sky_plot.h"
#include "position/gps_fix.h"

// The satellite list: MONITOR_SAT_ROWS rows in view, scrolled for more. It
// holds every satellite of the table and a heading line before each group
// of another system than GPS (so a GPS receiver's list looks as it always
// has).
enum { MONITOR_TEXT = 128, MONITOR_SAT_ROWS = 12, MONITOR_GROUPS = 4,
       MONITOR_LINES = GPS_SAT_TABLE + static_cast<int>(GPS_SYSTEMS) + 1 };
enum { MONITOR_FIRST_TIMER_MS = 1000, MONITOR_TIMER_MS = 300 };
// Index of each static text in MonitorDialog::texts.
enum MonitorTextIndex { MONITOR_TIME, MONITOR_POSITION, MONITOR_MESSAGE, MONITOR_HEADER, MONITOR_LEGEND,
                        MONITOR_ROW_FIRST, MONITOR_TEXTS = MONITOR_ROW_FIRST + MONITOR_LINES };

struct MonitorText {
    int controlId;                     // 608, 609, 610, 624, 625 .. 636
    DialogRect rect;
    char text[MONITOR_TEXT];
};

struct MonitorGroup {
    const char* text;                  // "Date / Time", "Lat / Long / Alt", "Satellites", "Messages"
    DialogRect rect;
};

struct MonitorDialog {
    const char* caption;               // "GPS Monitor"
    DialogRect frame;
    DialogRect iconRect;               // the program icon
    const char* okText;                // "OK" (default button), closes
    DialogRect okRect;
    MonitorGroup groups[MONITOR_GROUPS];
    MonitorText texts[MONITOR_TEXTS];
    DialogRect listRect;               // the scrolled area of the list lines
    int lineCount;                     // lines written by the last refresh
    DialogRect skyRect;                // where the sky plot's pixels go
    SkyPlot sky;                       // redrawn with the list
    // Period in ms to arm the dialog's one-shot timer with next: 1000 after
    // init, 300 after each tick; 0 once closed.
    int timerMs;
    int open;                          // 0 after OK or Close
};

// A new record, initialised; the toolkit owns it from platform_show_monitor
// on and hands it to monitor_dialog_free when its window is gone.
MonitorDialog* monitor_dialog_create();
void monitor_dialog_free(MonitorDialog* d);

// Static texts " " (the time and position lines stay empty until the first
// tick), timer at 1000 ms.
void monitor_dialog_init(MonitorDialog* d);
// Timer: refresh from the fix record, then timerMs = 300.
void monitor_dialog_timer(MonitorDialog* d);
// The refresh alone. List lines beyond the count are blank.
void monitor_dialog_refresh(MonitorDialog* d);
// A command from the dialog: 1 (the OK button) closes it and returns 1;
// any other id returns 0.
int monitor_dialog_command(MonitorDialog* d, int id);
// Close box or system menu: open = 0, timerMs = 0.
void monitor_dialog_close(MonitorDialog* d);
