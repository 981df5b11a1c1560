// The sheets a view needs: every sheet of the view's level and size whose
// extent meets the view, named by the grid's snapping, with the extent of
// its record or, when it is not stored yet, the extent its download will
// record.
#pragma once
#include <map>
#include <tuple>
#include <vector>

#include "maps/map_view.h"
#include "maps/sheet_extent.h"
#include "maps/view_plane.h"

struct ViewSheet {
    double lat, lon;               // snapped grid point, as the sheet is named and requested
    int format;                    // the stored file's format; -1 when not stored
    char path[SHEET_PATH_MAX];     // the stored file, or where it will be stored
    SheetExtent extent;
};

// The extent record the download of the sheet at grid point (lat, lon)
// writes. 1, or 0 when the projection cannot place the point.
int view_sheet_expected_extent(double lat, double lon, int level, int big, SheetExtent* extent);

// What the store held for each grid cell when last looked at: a view
// painted again and again (driving, dragging) looks each sheet up once,
// not once a frame. Whoever keeps it empties it when the store may have
// changed (a sheet arrived, the store or kind of sheet switched, or a
// while has passed).
struct ViewStoreMemo {
    std::map<std::tuple<double, double, int, int>, ViewSheet> cells;   // lat, lon, level, big
};

// Replaces *out with the sheets the view needs (topographic, or aerial
// JPEG ones with aerial set) in the store under mapsDir, nearest centre
// to the view's first; through memo when given. Returns how many, or -1
// when the view cannot be turned into degrees.
int view_needed_sheets(const ViewRecord& view, const char* mapsDir, int aerial, std::vector<ViewSheet>* out,
                       ViewStoreMemo* memo = nullptr);

// The plane wraps at 180 degrees: the extent of a sheet of the far side
// (as recorded) moved a world's width over, beside the view.
void view_sheet_beside(const ViewRecord& view, SheetExtent* e);

// Orders the sheets by the distance of their centre from plane point
// (x, y), nearest first: the order their requests go in.
void view_sheets_by_distance(std::vector<ViewSheet>* sheets, double x, double y);
