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

uint32_t serial_speed_get(int fd) {
    struct termios2 t;
    if (fd < 0 || ioctl(fd, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}
