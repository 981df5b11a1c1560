// The map pane as a view of the sheet plane: composed from every stored
// sheet of the displayed level and size that meets it, through a cache of
// decoded sheets, hatched where none is stored; the missing ones go to the
// background queue nearest the centre first. The composed picture takes
// the displayed picture's place (map_view.pixels), with the view's
// rectangle as its extents, so everything placed through them (marker,
// trail, track log, GPX, clicks, Map Coordinates) is in view coordinates.
// Main thread only.
#pragma once

struct AppSettings;
struct ViewRecord;

// The view's centre in the plane: the vehicle while Auto Pan is on and
// there is a position (so it stays in the middle, far from every edge),
// else the displayed sheet's centre. 1, or 0 when neither can be placed.
int  view_pane_centre(const AppSettings* s, double* x, double* y);
// The paint's step before the marker: recompose when the view, or the set
// of stored sheets it needs, changed. Leaves a picture that is no stored
// sheet (Open Map of another file, the placeholder) alone.
void view_pane_update(const AppSettings* s);
// After the blit: "loading" over the sheets being fetched.
void view_pane_draw_loading();
// A sheet file was replaced: its decoded image goes.
void view_pane_forget(const char* path);
// The view last composed; 0 before any.
int  view_pane_current(ViewRecord* out);
// Forgets the view and empties the cache (tests, window reset).
void view_pane_reset();
