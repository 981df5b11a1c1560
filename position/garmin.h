// Garmin binary serial protocol (device 5): DLE/ETX frames with doubled
// DLE bytes. The timer polls the receiver alternately for its position and
// its date and time; the reader thread de-frames the answers and decodes
// packets 14 (date and time) and 17 (position) into the fix record.
#pragma once

enum { GARMIN_DLE = 0x10, GARMIN_ETX = 0x03 };
enum { GARMIN_FRAME_BUFFER = 4096 };
enum { GARMIN_COMMAND = 0x0A, GARMIN_DATE_TIME = 0x0E, GARMIN_POSITION = 0x11 };

// Frames identifier, size and data (count bytes) with the checksum and
// doubled DLEs, and writes it with receiver_write. Returns its result; 0
// when the framed packet would not fit the output buffer.
int garmin_send(const unsigned char* bytes, int count);
int garmin_request_position();  // 0A 02 02 00
int garmin_request_time();      // 0A 02 05 00

// De-frames received bytes (reader thread). A frame that outgrows the
// buffer is dropped up to its end; later frames decode normally.
void garmin_feed(const char* bytes, int count);

// One unstuffed frame from its leading DLE through the closing ETX. Decodes
// packets 14 and 17; short, unframed or other packets are ignored.
void garmin_packet(const unsigned char* frame, int length);

// One timer tick (main thread): a date-and-time request, or a position
// request followed by ageing the fix; a fix that reaches 0 repaints.
void garmin_poll();

// Empty frame buffer, next poll asks for the position.
void garmin_reset();

// Complete frames handed to garmin_packet since the reset.
long garmin_frame_count();
