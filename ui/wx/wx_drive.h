// Driving the real main window from a benchmark or tool, without the
// toolkit's headers: start it in the current folder, repaint it on demand,
// run its loop for a while, and close it as the menu's Exit does.
#pragma once

// Toolkit up (DISPLAY must be set), main window created and shown; runs
// the loop until the first paint that showed a sheet or timeoutMs. 1 when
// that paint came.
int  wx_drive_start(int timeoutMs);
// One repaint of the whole client area, run to its end: the time inside the
// paint handler and from the request to the end of the paint, both in ms.
// 0 when no paint came within timeoutMs.
int  wx_drive_repaint(double* handlerMs, double* requestMs, int timeoutMs);
// The CPU time the last paint's thread spent in the handler, ms.
double wx_drive_paint_cpu_ms();
// Runs the event loop for ms milliseconds.
void wx_drive_run(int ms);
// Closes the window (link closed, record freed) and shuts the toolkit down.
void wx_drive_stop();
