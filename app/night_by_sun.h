// Night colours chosen by the user (Day, Night) or by the sun (Automatic):
// automatic turns them on at civil dusk and off at civil dawn where the
// vehicle is, at the fix's time; without a fix, at the last position known
// and the system's clock. Main thread.
#pragma once

enum { NIGHT_MODE_DAY = 0, NIGHT_MODE_NIGHT = 1, NIGHT_MODE_AUTO = 2 };

// The mode as chosen (menu, key, kept state): its radio mark, the colours
// it gives now, and a repaint when they change.
void night_by_sun_set_mode(int mode);

// Automatic only: the colours for the sun as it stands now (called by
// every paint, before anything is drawn). 1 when they changed.
int night_by_sun_update();

// The night key: Day and Night in turn, from whatever is shown (so from
// Automatic it is the other of the two, by hand).
void night_by_sun_toggle();
