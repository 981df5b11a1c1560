// The user's waypoints on the view, on every source and level: a mark in
// the composed frame and the name beside it after the blit, names placed
// nearest the vehicle first and none over another. Main thread.
#pragma once

struct ClientFrame;

// Marks into the frame, over the pane's picture (sx, sy: the picture's
// pixel at the pane's top-left corner; width x height shown of it), before
// the night colours go over the frame.
void waypoint_marks_draw(ClientFrame* f, int sx, int sy, int width, int height);
// The names of the marks drawn, as text after the blit.
void waypoint_marks_draw_names(int night);
