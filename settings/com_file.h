// kiv_com.txt: "COM<n>" then "Big" or "Small"; and the device path of a port.
#pragma once
#include <cstddef>

struct AppSettings;

#define KIV_COM_FILE "kiv_com.txt"

// comPort from the fourth character of line 1 (a digit; anything else keeps
// the default), bigMaps from line 2 ('B' = big). Lines limited to 255.
void settings_read_com(AppSettings* s);

// The map size flag, read before the window (and the record) exists:
// 1 when line 2 begins with 'B', 0 otherwise or without the file.
int settings_read_big_maps_flag();

// Rewrites the file from comPort and bigMaps. 1 when written; 0 when not
// (the old file is left as it was).
int settings_write_com(const AppSettings* s);

// The device port n (1..9) opens: the Com<n>= path of kiv_ini.txt, else
// /dev/ttyS<n-1>. Returns 1, or 0 when n is out of range or out is too small.
int settings_port_path(const AppSettings* s, int port, char* out, size_t size);
