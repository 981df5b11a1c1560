// The pane while no sheet is on screen: a neutral picture placed on the
// sheet grid (so the marker still moves at the right place) and a few lines
// of text saying why there is no map.
#pragma once
#include <cstddef>

struct AppSettings;

// A neutral picture of the pane's size becomes the displayed image, with
// the extent a sheet of map_view's level and centre would have, so the
// marker and the plot are placed as on the real sheet.
void pane_placeholder_show();
// 1 while the picture on screen is the neutral one.
int  pane_placeholder_shown();
// A real picture replaced it (also clears the notice).
void pane_placeholder_clear();
// Where no sheet can be drawn (beyond every grid, or not placeable): the
// neutral picture with nothing placed on it and the reason as the notice,
// so no other place is shown.
void pane_notice_no_grid(const char* why);
// 1 while that is on screen.
int  pane_notice_no_grid_shown();

// Text drawn over the pane after the blit; lines separated by '\n', "" for
// none. Kept until replaced or until a sheet is shown.
void pane_notice_set(const char* text);
// "No sheet stored ..." for the displayed grid point: where it was looked
// for, which server did not deliver it and why (the download's reason,
// sheet_download.h; "" when none is known: the server cannot be reached,
// or offline, none was asked).
void pane_notice_no_sheet(const AppSettings* s, const char* reason);
// The line over a view with sheets the server did not deliver: "map
// server not answering: <host>, retrying" when the server could not be
// reached (reason "" when not known), else "map server <host>: <reason>,
// retrying".
void pane_notice_server_trouble(const AppSettings* s, const char* reason, char* out, size_t size);
// "Fetching the sheet for <grid point>, level n, from <server> ..." while
// the displayed grid point's sheet is on its way.
void pane_notice_fetching(const AppSettings* s);
void pane_notice_draw();
void pane_notice_reset();

// With no receiver set up (COM0): how to connect one and that kivsim plays
// one, drawn below any notice. Gone with the next sheet shown, or when a
// receiver connects.
void pane_notice_no_receiver();
void pane_notice_receiver_connected();
