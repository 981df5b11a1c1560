// Go To on the map: the route's legs, a dashed line from the vehicle to the
// point steered to, a ring on that point and, when it lies off the pane, an
// arrow at the pane's edge pointing to it with its distance. Drawn into the
// client frame after the sheet (so night colours dim them with the map),
// the distance as text after the blit. Main thread.
#pragma once

struct ClientFrame;
struct NavReading;

struct GoToLabel {
    int shown, x, y;
    char text[24];
};

// (paneX, paneY): the pane's top-left in the frame; (sx, sy) the display
// picture's pixel there; width x height the part of the pane it covers.
// imperial: the label in feet and miles.
void go_to_marks_draw(ClientFrame* f, const NavReading& reading, int paneX, int paneY, int sx, int sy, int width,
                      int height, int imperial, GoToLabel* label);
void go_to_marks_label(const GoToLabel& label, int night);
