// The position sources: the name stored in kiv_dev.txt, the letter that
// selects it when the file is read, and the line speed it needs.
#pragma once
#include <cstdint>

struct AppSettings;

enum { DEVICE_FIRST = 1, DEVICE_LAST = 7 };

const char* device_name(int deviceType);       // "NMEA", ... "REMOTE"; null when unknown
uint32_t device_baud_rate(int deviceType);     // 0 when unknown
int device_from_letter(char letter);           // 0 when no device starts with it

// Selects the device and its line settings: its baud rate, 8 data bits,
// no parity, one stop bit. Flow control and port stay. 0 for an unknown type.
int settings_select_device(AppSettings* s, int deviceType);
