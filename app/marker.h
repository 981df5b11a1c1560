// The position marker and cross-hair, painted into the display bitmap
// (24-bit rows in blue, green, red order, stride 3 x width padded to 4).
#pragma once

struct AppSettings;

// Cross-hair of hairWidth (0 none; 1 thin black lines; 3 black with a
// white pixel each side, ...) through (x, y), then the 11 x 11 marker
// centred there. Pixels outside the bitmap are skipped. false only when
// there is no settings record.
bool drawMarker(const AppSettings* settings, unsigned char* dibBits, int width, int height, int x, int y,
                int hairWidth);

// The marker pattern: '#' yellow, 'k' black, '.' unchanged.
extern const char* const MARKER_PATTERN[11];
