// Rockwell Zodiac binary protocol of the EarthMate (device 3): frames of
// little-endian 16-bit words. Decodes messages 1000, 1002, 1003 and 1005
// into the fix record, answers the "EARTHA" greeting and sends the receiver
// its initial position and time (message 1200). Runs on the reader thread.
#pragma once
#include <cstdint>

// Fixed data buffer (4096 bytes): a header announcing more data words than
// this (N + 1 > ZODIAC_MAX_DATA_WORDS) is dropped and hunting restarts.
enum { ZODIAC_SYNC = 0x81FF, ZODIAC_HEADER_WORDS = 5, ZODIAC_MAX_DATA_WORDS = 2048 };

// Frame state machine: where the next received byte goes.
enum ZodiacFrameState {
    ZODIAC_HUNTING = 0,          // waiting for 0xFF
    ZODIAC_AFTER_FF = 1,         // waiting for 0x81
    ZODIAC_HEADER_ID = 2,        // header word 2: message identifier
    ZODIAC_HEADER_COUNT = 3,     // header word 3: number of data words N
    ZODIAC_HEADER_FLAGS = 4,     // header word 4
    ZODIAC_HEADER_CHECKSUM = 5,  // header word 5
    ZODIAC_DATA = 6,             // N data words and their checksum
};

// Greeting test (also across chunk boundaries), then every byte through the
// frame state machine.
void zodiac_feed(const char* bytes, int count);

// One framed message: header (5 words) and dataWords >= N + 1 data words,
// the last being the data checksum. Decodes when the checksum holds; sends a
// pending initialisation either way.
void zodiac_message(const uint16_t* header, const uint16_t* data, int dataWords);

// Negation of the 16-bit sum of count words.
uint16_t zodiac_checksum(const uint16_t* words, int count);

// Header for id and count - 1 data words, then the words (which end with
// their checksum), low byte first. Returns receiver_write's result; 0 for a
// count outside 1..ZODIAC_MAX_DATA_WORDS.
int zodiac_send(int id, const uint16_t* words, int count);

// Message 1200 from kiv_pos.txt (working directory) and the clock's UTC.
// Returns 1 when it went to receiver_write, 0 when kiv_pos.txt is missing or
// a line is too short.
int zodiac_send_init();

// Back to hunting, no initialisation pending, sequence number 0.
void zodiac_reset();

// Frames with a valid header delivered to zodiac_message since the reset.
long zodiac_frame_count();
