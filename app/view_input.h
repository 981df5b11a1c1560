// Moving the view with the mouse and keys as on every map: a drag pans, a
// click without movement zooms about its point as the wheel does, +/- and
// Page Up/Down about the centre, the cursor keys and the arrow buttons pan
// part of the pane, Space and Home go back to the vehicle. While Auto Pan
// follows the vehicle every zoom is about the vehicle, which stays where it
// is drawn: only a drag or a pan leaves it. Client coordinates; main thread
// only.
#pragma once

// The left button went down in the pane at (x, y).
void view_input_press(int x, int y);
// The pointer moved with the left button down. Past a few pixels the press
// is a drag: the view follows the pointer and Auto Pan goes off.
void view_input_drag(int x, int y);
// The left button came up: 1 when the press was a click (no drag) in the
// pane, for the caller to act on; 0 after a drag or without a press.
int  view_input_release(int x, int y);
// A fraction of a level per notch (steps > 0 finer), keeping the map point
// under (x, y) where it is; with Auto Pan on the view keeps following the
// vehicle.
void view_input_wheel(int x, int y, int steps);
// A click without a drag at (x, y), to the next level's own scale per step,
// about its point as the wheel: 1 when
// the view took it; 0 when the pane shows no composed view (a picture of
// its own, the placeholder), for the caller to fetch the sheet there.
int  view_input_click_zoom(int x, int y, int steps);
// As the wheel, about the pane's centre.
void view_input_zoom(int steps);
// Pans by fractions of the pane: east (fx > 0) and north (fy > 0).
void view_input_pan(double fx, double fy);
// Auto Pan on and the view back on the vehicle.
void view_input_back_to_vehicle();
// Forgets a press (window reset).
void view_input_reset();
