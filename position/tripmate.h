// TripMate start-up handshake: the receiver greets with "ASTRAL" lines; each
// is answered, and every second one is followed by the initial position and
// time ("$PRWIINIT", declared in nmea.h).
#pragma once

// Handles a line that is neither a sentence nor a phone reply.
void tripmate_line(const char* line);

// ASTRAL counter back to 0 (tests).
void tripmate_reset();
