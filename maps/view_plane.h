// The map view as a window onto the sheet plane: every sheet of one level
// and size lies in one plane (the projection's metres) at one resolution,
// so a view is a centre in that plane, the level and the pane's size.
// Screen coordinates are continuous: pixel (i, j) covers [i, i+1) x [j, j+1),
// rows run top-down.
#pragma once

// Plane ids are EPSG codes: the Canadian grid's plane, and Web Mercator
// for the sheets elsewhere (world_grid.h).
enum { VIEW_PLANE_NONE = 0, VIEW_PLANE_CANADA_LAMBERT = 3978, VIEW_PLANE_WEB_MERCATOR = 3857 };

struct ViewRecord {
    int plane;
    int level, big;        // which sheets
    double cx, cy;         // centre in projected metres
    double mpp;            // metres per screen pixel
    int width, height;     // pane in pixels
    // The picture turned about the pane's centre, radians clockwise on the
    // screen (0: north of the plane up; course-up turns it by the course).
    double rotation;
};

// Pixel size of the sheets of one size (Big Maps or not).
int view_sheet_width(int big);
int view_sheet_height(int big);

// Metres per sheet pixel at the level: the width of the extent the sheet's
// download records over its width in pixels, as the marker is placed on a
// sheet.
double view_level_mpp(int level, int big);

// The one rule for "plane point <-> degrees": Canada Atlas Lambert through
// the hand-written projection, Web Mercator through PROJ. 1, or 0 (outputs
// untouched) when the point cannot be placed or the plane is unknown.
int view_plane_from_degrees(int plane, double lat, double lon, double* x, double* y);
int view_plane_to_degrees(int plane, double x, double y, double* lat, double* lon);

// The plane a pane of width x height pixels centred on (lat, lon) stands
// in at this level and size: the plane of the sheet the grid gives there,
// but Web Mercator where the Canadian grid's sheets would leave part of
// the pane bare and Web Mercator can draw the point (its sheets reach
// everywhere below 85 degrees); VIEW_PLANE_NONE where no sheet can be
// drawn ("No map grid here") or the position is impossible.
int view_plane_at(double lat, double lon, int level, int big, int width, int height);
// The plane of the sheet at grid point (lat, lon), as it is named and stored.
int view_plane_of_sheet(double lat, double lon, int level, int big);

// A view of the plane of (lat, lon) at the level's own resolution, centred
// on it. 1, or 0 (*view untouched) when the point cannot be placed.
int view_make(ViewRecord* view, int level, int big, double lat, double lon, int width, int height);

// Screen <-> plane, the turn about the pane's centre included.
void view_screen_to_plane(const ViewRecord& view, double px, double py, double* x, double* y);
void view_plane_to_screen(const ViewRecord& view, double x, double y, double* px, double* py);

// Through the plane's projection. 1, or 0 (outputs untouched) when the
// point cannot be placed or the plane is not one the program knows.
int view_degrees_to_screen(const ViewRecord& view, double lat, double lon, double* px, double* py);
int view_screen_to_degrees(const ViewRecord& view, double px, double py, double* lat, double* lon);

// The pixel a position is drawn at (the marker's): 1 when it lies in the
// pane, 0 when outside or not placeable (*px, *py written only with 1).
int view_position_pixel(const ViewRecord& view, double lat, double lon, int* px, int* py);
