// Where true north lies on the screen. The Canadian grid's Lambert plane is
// turned from true north by the meridians' convergence (some 17 degrees at
// Ottawa, more further east), and a turned view turns it further, so the
// direction is read through the plane's own projection.
#pragma once

struct ViewRecord;

// The direction of true north at the pane's centre, radians clockwise
// from straight up on the screen. 1, or 0 (*angle untouched) when the
// centre cannot be placed (the pole, off the plane).
int view_north_angle(const ViewRecord& view, double* angle);
