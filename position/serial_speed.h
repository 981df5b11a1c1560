// Line speeds that have no termios constant (14400, 56000, 128000, ...):
// Linux takes any rate through termios2 with BOTHER. Kept apart from the
// rest of the port code because the kernel's termios2 header and the C
// library's termios.h cannot be included together.
#pragma once
#include <cstdint>

// Sets both directions of the open terminal fd to rate bits per second.
// 1 when the driver now runs within 3 % of it (UARTs round to their
// divisors); 0 when it refused or cannot come close.
int serial_speed_set_any(int fd, uint32_t rate);
// The whole line at once: modes are the input, output, control and local
// flags as termios has them, cc its control characters (count of them);
// both directions at rate. 1 when the driver took the flags that matter and
// runs within 3 % of the rate.
int serial_speed_set_line(int fd, const unsigned modes[4], const unsigned char* cc, int count, uint32_t rate);
// The output rate the driver reports, 0 when it cannot be read.
uint32_t serial_speed_get(int fd);
