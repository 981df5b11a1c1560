// A connection to the X display held over the toolkit's start-up, so that
// the server cannot reset under the toolkit's own connection.
#pragma once

// Opens the display DISPLAY names, retrying for up to timeoutMs while the
// server drops the connection; null when the toolkit will not use X or the
// display stays unreachable.
void* x_display_hold(int timeoutMs);
// Closes it once the toolkit has its own connection.
void x_display_release(void* held);
