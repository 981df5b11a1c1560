// kiv_dev.txt: one line, the name of the selected position source.
#pragma once

struct AppSettings;

#define KIV_DEV_FILE "kiv_dev.txt"

// The first character of the first line selects the device and its baud
// rate; any other character (or no file) leaves the record as it is.
void settings_read_dev(AppSettings* s);

// Rewrites the file with the name of deviceType. 1 when written; 0 when not
// (unknown device, or the file could not be replaced; the old one stays).
int settings_write_dev(int deviceType);
