// The map pane as a view of the sheet plane: composed from every stored
// sheet of the displayed level and size that meets it, through a cache of
// decoded sheets, hatched where none is stored; the missing ones go to the
// background queue nearest the vehicle (else the centre) first. The composed picture takes
// the displayed picture's place (map_view.pixels), with the view's
// rectangle as its extents, so everything placed through them (marker,
// trail, track log, GPX, clicks, Map Coordinates) is in view coordinates.
// Main thread only.
#pragma once

struct AppSettings;
struct ViewRecord;

// The view's centre in the plane: the vehicle while Auto Pan is on and
// there is a position (so it stays in the middle, far from every edge),
// else the displayed sheet's centre; *plane is the plane of the sheets
// there (view_plane.h), so the view changes plane where the grids meet.
// 1, or 0 when neither can be placed.
int  view_pane_centre(const AppSettings* s, int* plane, double* x, double* y);
// The view's metres per pixel: the scale between the levels the user or
// Auto Zoom chose (map_view.scaleMpp) while the level in use draws it, else
// the level's own.
double view_pane_mpp(const AppSettings* s);
// A zoom is about to change the view: the picture shown now moves into the
// new scale over the next frames (view_zoom.h) before the new view is
// composed; the window's timer asks for the frames. Nothing where time
// cannot be told finely (a test's clock) or nothing is composed.
void view_pane_start_zoom();
// 1 while a zoom's frames are being shown.
int  view_pane_zooming();
// The paint's step before the marker: recompose when the view, or the set
// of stored sheets it needs, changed. Leaves a picture that is no stored
// sheet (Open Map of another file, the placeholder) alone. 1 when it
// composed a new picture (its display bitmap bears no marks yet).
int  view_pane_update(const AppSettings* s);
// Where the view stands while Auto Pan is off, once the user moved it off
// the displayed sheet's centre (drag, wheel, keys): a point in the plane
// (of that plane) and the level. The displayed sheet follows: the grid
// sheet under the centre, so Reload Map, the title and a later zoom out
// refer to what is in view. Nothing waits: stored sheets draw, missing ones
// are queued. A point beyond every grid is not taken.
void view_pane_move_to(const AppSettings* s, int plane, double x, double y, int level);
// The view centred on (lat, lon) at its level, in the plane of the sheets
// there, and Auto Pan off so it stays (Show of a waypoint, a search result,
// a line of directions). 0, nothing moved, where no grid has sheets.
int  view_pane_show_point(AppSettings* s, double lat, double lon);
// The view's centre and plane as last composed (or as it would be composed
// now), and its metres per pixel. 1, or 0 when no view can be placed.
int  view_pane_centre_now(const AppSettings* s, int* plane, double* x, double* y, double* mpp);
// A sheet was brought on screen by itself (click, level button, pan button,
// Open Map): the view goes back to its centre.
void view_pane_clear_centre();
// After the blit: "loading" over the sheets being fetched, "failed" over
// those the server did not deliver, and a line saying why sheets stay
// missing (the map server not answering, or offline).
void view_pane_draw_loading();
// A sheet file was replaced: its decoded image goes.
void view_pane_forget(const char* path);
// The sheet at path (its file just stored, replaced or chosen) as the view
// takes it while it composes the pane from the store: decoded afresh into
// its cache, the pane's picture left for the next compose to draw over.
// 1 then; 0 when the view does not compose now or the sheet does not
// decode there, for the caller to load it as a picture of its own.
int  view_pane_take_sheet(const AppSettings* s, const char* path);
// The maps folder changed: every decoded sheet and store lookup goes.
void view_pane_forget_store();
// 1 while the pane shows the composed view (not a picture of its own).
int  view_pane_composing();
// The view last composed; 0 before any.
int  view_pane_current(ViewRecord* out);
// Forgets the view and empties the cache (tests, window reset).
void view_pane_reset();
