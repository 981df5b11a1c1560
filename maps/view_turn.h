// The turn of a course-up view: the angle the map is turned by eases
// toward the course (critically damped, settled in about half a second)
// and holds the last good course while the receiver's course is noise
// (slow or standing). No state of its own: the caller keeps a ViewTurn.
#pragma once

// Below this (5 km/h) the course is not followed.
constexpr double VIEW_TURN_SPEED_MS = 5.0 / 3.6;

struct ViewTurn {
    double angle, rate;                // radians clockwise on the screen, and per second
    double target;
};

// Aims at the turn that puts a course up: courseScreen is the course's
// direction on a north-up screen (radians clockwise from up). Slower than
// VIEW_TURN_SPEED_MS, or without a course, the aim stays as it was.
void view_turn_aim(ViewTurn* turn, double courseScreen, int known, double speedMs);

// dt seconds on toward the target, the short way round. 1 while still
// turning (another frame is wanted), 0 once settled on it.
int view_turn_step(ViewTurn* turn, double dtSeconds);
