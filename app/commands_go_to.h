// Navigate > Go To Pointer (key G), Follow Route... and Stop Navigation.
#pragma once

// The pointer moved to client point (x, y): Go To Pointer takes the point
// of the map it was last over.
void go_to_pointer_moved(int x, int y);
// The point of the map the pointer was last over (Route To shares it); 0
// when it was over none.
int  go_to_pointer_degrees(double* lat, double* lon);
void command_go_to_pointer();
// The first route of the last opened GPX file that has one; with none
// opened, a GPX file is asked for and opened over the map.
void command_follow_route();
void command_stop_navigation();
