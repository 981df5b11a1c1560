// Where a dialog control sits, in dialog units (a quarter of the average
// character width across, an eighth of the character height down), as the
// dialog records of the COM, monitor, Keys and About dialogs give them.
#pragma once

struct DialogRect {
    int x, y, w, h;
};
