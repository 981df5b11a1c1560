// Waypoint names on the view never overlap: the names nearest the vehicle
// are placed first, and one that would cover a name already placed is left
// out (its mark stays).
#pragma once
#include <vector>

struct WaypointLabel {
    int x, y, width, height;           // the name's box, pane pixels
    double nearness;                   // to the vehicle (any measure; smaller is nearer)
    bool shown;                        // out
};

// Sets shown for each label; boxes wholly outside width x height are not shown.
void waypoint_labels_place(std::vector<WaypointLabel>* labels, int width, int height);
