// NMEA 0183 decoder: assembles received bytes into lines, checks each
// sentence's checksum and writes RMC, GGA, GLL, GSA, GSV, GNS, VTG and ZDA
// of any talker into the fix record. Also answers the TripMate "ASTRAL" handshake and notices the
// phone's final reply lines for the text-message source.
// Runs on the serial reader thread only; its buffers are not shared.
#pragma once

enum { NMEA_LINE_BUFFER = 4096, NMEA_FIELD_BUFFER = 100 };

// Adds received bytes to the line buffer and handles every completed line.
// A "$" starts a new line wherever it comes. A line longer than the buffer
// is dropped; decoding resumes at the next line feed or "$".
void nmea_feed(const char* bytes, int count);

// Classifies one line (without its line end): sentence, phone reply,
// embedded RMC, or the TripMate greeting.
void nmea_line(const char* line);

// Handles the text after "$": checksum, dispatch by name, last message.
void nmea_sentence(const char* text);

// Field n of a sentence (0 is the name) in the shared field buffer, cut to
// 99 characters; empty when the sentence has fewer fields.
const char* nmea_field(const char* sentence, int n);

// 1 when the two upper-case hex digits after the first "*" equal the XOR of
// the characters before it.
int nmea_checksum_ok(const char* sentence);

// Writes "%02X\r\n" after the first "*" of a sentence (text after "$").
// capacity is the size of the buffer holding it; returns 0 when there is no
// "*" or no room, leaving the text alone.
int nmea_append_checksum(char* sentence, int capacity);

// Builds "$PRWIINIT" from kiv_pos.txt and the computer's UTC clock and sends
// it to the receiver; sends nothing without two usable lines.
void tripmate_send_init();

// Line buffer, framing state and ASTRAL counter back to their start (tests).
void nmea_reset();
