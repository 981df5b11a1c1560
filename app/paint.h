// Composing and showing the client area.
#pragma once

// The speed read-out text for the current fix, or empty when none is due
// (updates lastMovingTime while moving). size >= 32.
void paint_speed_text(char* out, int size);
