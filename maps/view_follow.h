// Where the view's centre goes while Auto Pan is on: on the vehicle, or
// ahead of it along the direction of travel so more of the road ahead shows.
// No state of its own (the caller keeps a FollowState); the step works in
// any plane (Lambert, Web Mercator) given the direction of travel in it.
#pragma once

struct ViewRecord;

enum { FOLLOW_CENTRED = 0, FOLLOW_LOOK_AHEAD = 1, FOLLOW_MODES = 2 };

// Below this speed (2 km/h) a receiver's course is noise: the view does not
// follow it and the vehicle is drawn standing.
constexpr double VIEW_MOVING_SPEED_MS = 2.0 / 3.6;

// The eased state kept between steps; zero it to start (view centred).
struct FollowState {
    double dx, dy;   // smoothed direction of travel, length 0..1 (short when courses disagree)
    double lead;     // 0 centred .. 1 look-ahead, eased so a mode change does not jump
};

// Unit vector from (x, y) to (aheadX, aheadY); (0, 0) when they coincide or
// are not finite.
void view_follow_direction(double x, double y, double aheadX, double aheadY, double* ux, double* uy);

// The direction of travel in the view's plane for a course (degrees from
// true north) at (lat, lon): both ends of a short step along it through the
// view's own projection, so the plane's meridian convergence is taken into
// account. 1, or 0 with (0, 0) when they cannot be placed.
int view_follow_course_direction(const ViewRecord& view, double lat, double lon, double courseDegrees, double* ux,
                                 double* uy);

// Direction in a y-up plane as an angle on a y-down screen, degrees
// clockwise from straight up (what drawVehicleArrow takes).
double view_follow_screen_angle(double ux, double uy);

// One step: the view centre (*cx, *cy, plane metres) for the vehicle at
// (vx, vy). ux, uy: unit direction of travel in the plane (0, 0 unknown);
// speedMs: ground speed; paneWidthM/HeightM: the pane's size in plane metres
// (pixels x mpp); dtSeconds: time since the last step (0 for a redraw
// without a new fix, which changes nothing). Look-ahead puts the centre
// (pane width, height) / 6 ahead along the smoothed direction, which leaves
// the vehicle a third of the way from the edge behind it. Below
// VIEW_MOVING_SPEED_MS the direction decays towards centred. Whatever the
// inputs, the vehicle lies at least 10% of the pane from every edge.
void view_follow_step(FollowState* state, int mode, double vx, double vy, double ux, double uy, double speedMs,
                      double paneWidthM, double paneHeightM, double dtSeconds, double* cx, double* cy);
