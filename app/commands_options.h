// Menu commands of the "&Options" menu that only flip a display flag:
// Auto Zoom, Track and Map Coordinates. Main thread.
#pragma once

struct AppSettings;

void command_auto_zoom(AppSettings* s);
void command_track(AppSettings* s);
void command_map_coordinates(AppSettings* s);
// The view's own options, kept between runs with the window's state.
void command_full_screen();
void command_look_ahead();
void command_night_colours();
// Course-up on or off (north-up again).
void command_course_up();
// The form the fix strip writes the pointer's position in (CoordinateForm).
void command_pointer_form(int form);
// The map's pixels twice as large on a scaled screen, or one to one.
void command_magnify_map();
