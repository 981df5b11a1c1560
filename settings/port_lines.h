// What kiv_ini.txt remembers per port besides Com<n>=: the line settings
// last chosen for it in the COM dialog, as
//   Baud1=115200  Bits1=8  Parity1=None  Stop1=1  Flow1=None
// (Parity: None, Odd, Even, Mark, Space; Stop: 1, 1.5, 2; Flow: None or
// DTR/DSR, RTS/CTS, XON/XOFF joined by '+'). Without a Baud<n>= line the
// port has nothing remembered and the device's defaults hold, as before.
#pragma once

struct AppSettings;
struct PortLine;

// The remembered lines of ports 1..9 into s->comLine.
void settings_read_port_lines(AppSettings* s);
// The remembered line of s->comPort, if any, into the record's line
// settings. Runs after the device (kiv_dev.txt) has set its defaults.
void settings_apply_port_line(AppSettings* s);
// The record's line settings become port's remembered line, in the record
// and in kiv_ini.txt. 1 when written.
int settings_remember_port_line(AppSettings* s, int port);
// port opens path from now on: s->comPath and Com<n>= in kiv_ini.txt.
// 0 for a path the file cannot hold (empty, too long, with a blank).
int settings_assign_port(AppSettings* s, int port, const char* path);

// 1 when both hold the same line settings.
int port_line_equal(const PortLine& a, const PortLine& b);
