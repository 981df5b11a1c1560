// Pieces the dialogs of this backend share: places in dialog units, the
// program icon, static texts shown as written.
#pragma once
#include <wx/wx.h>

#include "app/dialog_rect.h"

// A dialog with caption, system menu and close box, sized (client area)
// for w x h dialog units of its own font, owned by the main window.
wxDialog* wx_new_dialog(const char* caption, const DialogRect& frame);
wxRect wx_dialog_place(wxWindow* dialog, const DialogRect& r);
wxIcon wx_program_icon();
wxBitmap wx_program_bitmap();
// Text taken literally: "&" is no access key, "\n" breaks the line, "\t"
// goes to the next tab stop (such a text becomes one label per piece; the
// first is returned, null when all are empty).
wxStaticText* wx_add_text(wxWindow* dialog, int id, const char* utf8, const DialogRect& r);
wxStaticBitmap* wx_add_icon(wxWindow* dialog, const DialogRect& r);
wxButton* wx_add_button(wxWindow* dialog, int id, const char* label, const DialogRect& r, bool isDefault);

// The COM settings and monitor dialogs (wx_com_dialog.cpp, wx_monitor.cpp).
int wx_run_com_dialog(void* state);
// Download Area: the levels, then the progress (wx_download_dialog.cpp).
int wx_run_download_area_dialog(void* state);
int wx_run_download_progress_dialog(void* state);
// The waypoint dialogs (wx_waypoint_dialogs.cpp).
int wx_run_waypoint_dialog(int kind, void* state);
// Track Statistics with its plot (wx_track_stats_dialog.cpp).
int wx_run_track_stats_dialog(void* state);
// Route > Directions (wx_road_directions.cpp).
int wx_run_road_directions_dialog(void* state);
// Find (wx_find_dialog.cpp).
int wx_run_find_dialog(void* state);
