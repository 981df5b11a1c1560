#include "position/serial_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

int serial_speed_set_any(int fd, uint32_t rate) {
    if (fd < 0 || rate == 0) return 0;
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return 0;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    if (ioctl(fd, TCSETS2, &t) != 0) return 0;
    uint32_t got = serial_speed_get(fd);
    uint64_t diff = got > rate ? got - rate : rate - got;
    return diff * 100 <= static_cast<uint64_t>(rate) * 3;
}

int serial_speed_set_line(int fd, const unsigned modes[4], const unsigned char* cc, int count, uint32_t rate) {
    if (fd < 0 || rate == 0) return 0;
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return 0;
    t.c_iflag = modes[0];
    t.c_oflag = modes[1];
    t.c_cflag = modes[2];
    t.c_lflag = modes[3];
    for (int i = 0; i < count && i < NCCS; i++) t.c_cc[i] = cc[i];
    if (ioctl(fd, TCSETS2, &t) != 0) return 0;
    struct termios2 got;
    if (ioctl(fd, TCGETS2, &got) != 0) return 0;
    // What must hold for the settings to count as applied (a pseudo-terminal
    // keeps no data bits or parity of its own).
    const unsigned cmask = CSTOPB | CRTSCTS | CMSPAR | PARODD;
    const unsigned imask = IXON | IXOFF | INPCK;
    if ((got.c_cflag & cmask) != (modes[2] & cmask) || (got.c_iflag & imask) != (modes[0] & imask)) return 0;
    return serial_speed_set_any(fd, rate);
}

uint32_t serial_speed_get(int fd) {
    struct termios2 t;
    if (fd < 0 || ioctl(fd, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}
