#include "position/serial_port.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "position/gpsd_source.h"
#include "position/port_scan.h"
#include "position/serial_speed.h"
#include "position/tcp_source.h"

namespace {

struct SpeedEntry {
    uint32_t rate;
    speed_t code;
};

const SpeedEntry speeds[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300},
    {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600},
    {19200, B19200}, {38400, B38400},
#ifdef B57600
    {57600, B57600},
#endif
#ifdef B115200
    {115200, B115200},
#endif
#ifdef B230400
    {230400, B230400},
#endif
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

int64_t now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int modem_lines(int fd, unsigned long request, int bits) {
    if (ioctl(fd, request, &bits) == 0) return 1;
    // Pseudo-terminals and some adapters have no modem lines.
    return (errno == ENOTTY || errno == EINVAL) ? 1 : 0;
}

// The parts of the configuration the driver must keep for the settings to
// count as applied.
int same_line(const termios& want, const termios& got, int pseudo) {
    tcflag_t cmask = CSIZE | PARENB | PARODD | CSTOPB
#ifdef CMSPAR
                           | CMSPAR
#endif
#ifdef CRTSCTS
                           | CRTSCTS
#endif
        ;
    // A pseudo-terminal has no wire: it always reports 8 bits, no parity.
    if (pseudo) cmask &= ~(CSIZE | PARENB);
    const tcflag_t imask = IXON | IXOFF | INPCK;
    return (want.c_cflag & cmask) == (got.c_cflag & cmask) &&
           (want.c_iflag & imask) == (got.c_iflag & imask) &&
           cfgetospeed(&want) == cfgetospeed(&got) && cfgetispeed(&want) == cfgetispeed(&got);
}

// Unix98 pseudo-terminal slaves (majors 136 to 143).
int is_pseudo_terminal(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
    unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

}  // namespace

unsigned serial_port_speed_code(uint32_t baudRate) {
    for (const auto& e : speeds)
        if (e.rate == baudRate) return e.code;
    return 0;
}

int serial_port_is_network(const char* name) {
    return name && (strncmp(name, GPSD_SOURCE_PREFIX, strlen(GPSD_SOURCE_PREFIX)) == 0 ||
                    strncmp(name, TCP_SOURCE_PREFIX, strlen(TCP_SOURCE_PREFIX)) == 0);
}

int serial_port_name_ok(const char* name) {
    if (!name || !name[0]) return 0;
    GpsdAddress a;
    char command[400], host[256];
    int number;
    if (strncmp(name, GPSD_SOURCE_PREFIX, strlen(GPSD_SOURCE_PREFIX)) == 0)
        return gpsd_source_parse(name, &a) && gpsd_source_watch_command(&a, command, sizeof command) > 0;
    if (strncmp(name, TCP_SOURCE_PREFIX, strlen(TCP_SOURCE_PREFIX)) == 0)
        return tcp_source_parse(name, host, sizeof host, &number);
    return 1;
}

namespace {

// Without reading from it: a descriptor opened only to ask. One that cannot
// be opened (held exclusively, no permission) may well be a terminal.
bool looks_like_terminal(const char* name) {
    int fd = open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return true;
    bool terminal = isatty(fd);
    close(fd);
    return terminal;
}

}  // namespace

int serial_port_open(const char* name, SerialPort* port, int wakeFd) {
    *port = SerialPort{};
    if (!name || !name[0]) {
        errno = ENOENT;
        return 0;
    }
    if (strncmp(name, GPSD_SOURCE_PREFIX, strlen(GPSD_SOURCE_PREFIX)) == 0) return gpsd_source_open(name, port, wakeFd);
    if (strncmp(name, TCP_SOURCE_PREFIX, strlen(TCP_SOURCE_PREFIX)) == 0) return tcp_source_open(name, port, wakeFd);
    // A program that opened the device before us (gpsd, a terminal) is not
    // kept out by the locks below: reading beside it would steal its bytes.
    // Looked for first, so nothing is lost between the open and the purge.
    PortHolder holder;
    if (access(name, F_OK) == 0 && port_find_holders("/proc", name, &holder, 1) > 0) {
        // A busy port is waited for; a file many programs hold (/dev/null)
        // never becomes a receiver.
        errno = looks_like_terminal(name) ? EBUSY : ENOTTY;
        return 0;
    }
    // Non-blocking so that neither the open (carrier detect) nor any read or
    // write can hang; waiting is done with poll().
    int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    if (!isatty(fd)) {
        close(fd);
        errno = ENOTTY;
        return 0;
    }
    // No sharing: TIOCEXCL keeps other users out, flock() also keeps out
    // other instances running as root.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        errno = EBUSY;
        return 0;
    }
    ioctl(fd, TIOCEXCL);
    port->fd = fd;
    port->kind = SERIAL_PORT_TTY;
    return 1;
}

void serial_port_close(SerialPort* port) {
    if (port->fd >= 0) {
        // The exclusive flag can outlive this descriptor when someone else
        // holds the terminal open (a simulator holding its pty slave).
        ioctl(port->fd, TIOCNXCL);
        close(port->fd);
    }
    port->fd = -1;
    port->kind = SERIAL_PORT_NONE;
}

int serial_port_configure(const SerialPort* port, const SerialLine* line) {
    if (port->fd >= 0 && (port->kind == SERIAL_PORT_TCP || port->kind == SERIAL_PORT_GPSD)) return 1;
    if (port->fd < 0 || port->kind != SERIAL_PORT_TTY) return 0;
    if (line->baudRate == 0) return 0;
    termios old;
    if (tcgetattr(port->fd, &old) != 0) return 0;
    // A rate without a termios constant keeps the present speed here and is
    // set afterwards through termios2.
    speed_t speed = serial_port_speed_code(line->baudRate);
    const int anyRate = speed == 0;
    if (anyRate) speed = cfgetospeed(&old);
    termios t = old;
    cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    t.c_cflag &= ~CSIZE;
    switch (line->dataBits) {
        case 5: t.c_cflag |= CS5; break;
        case 6: t.c_cflag |= CS6; break;
        case 7: t.c_cflag |= CS7; break;
        case 8: t.c_cflag |= CS8; break;
        default: return 0;
    }
    t.c_cflag &= ~(PARENB | PARODD);
#ifdef CMSPAR
    t.c_cflag &= ~CMSPAR;
#endif
    t.c_iflag &= ~(INPCK | IGNPAR | PARMRK);
    switch (line->parity) {
        case 0: break;
        case 1: t.c_cflag |= PARENB | PARODD; break;
        case 2: t.c_cflag |= PARENB; break;
#ifdef CMSPAR
        // Stick parity: mark is "odd" with CMSPAR, space is "even".
        case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case 4: t.c_cflag |= PARENB | CMSPAR; break;
#endif
        default: return 0;
    }
    // Parity checking on: a byte with a parity error is read as 0, which no
    // decoder accepts as part of a valid sentence or frame.
    if (line->parity) t.c_iflag |= INPCK;
    // One and a half stop bits: termios knows only one or two. A UART gives
    // 1.5 for CSTOPB with 5 data bits; with more data bits this means two.
    switch (line->stopBits) {
        case 0: t.c_cflag &= ~CSTOPB; break;
        case 1:
        case 2: t.c_cflag |= CSTOPB; break;
        default: return 0;
    }
    // RTS/CTS in hardware. DTR/DSR has no termios flag: the link holds its
    // output while DSR is down and keeps DTR raised (the reader drains the
    // queue at once, so there is never a reason to drop it).
#ifdef CRTSCTS
    if (line->flowControl & 2)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~CRTSCTS;
#else
    if (line->flowControl & 2) return 0;
#endif
    // XON/XOFF both ways. The kernel's throttle thresholds are fixed, so
    // the limits of 100 bytes cannot be set.
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (line->flowControl & 4) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    // Linux tty queues have a fixed size (4 KB line discipline buffer on
    // top of the driver's own): there is nothing to set for the queues.
    if (anyRate) {
        // All of it at once through termios2, the rate included.
        unsigned modes[4] = {t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag};
        if (!serial_speed_set_line(port->fd, modes, t.c_cc, NCCS, line->baudRate)) {
            tcsetattr(port->fd, TCSANOW, &old);
            return 0;
        }
        return 1;
    }
    if (tcsetattr(port->fd, TCSANOW, &t) != 0) {
        tcsetattr(port->fd, TCSANOW, &old);
        return 0;
    }
    // tcsetattr succeeds when any part was applied: check that all was.
    termios got;
    if (tcgetattr(port->fd, &got) != 0 || !same_line(t, got, is_pseudo_terminal(port->fd))) {
        tcsetattr(port->fd, TCSANOW, &old);
        return 0;
    }
    return 1;
}

void serial_port_purge(const SerialPort* port) {
    if (port->fd >= 0 && port->kind == SERIAL_PORT_TTY) tcflush(port->fd, TCIOFLUSH);
}

void serial_port_set_dtr(const SerialPort* port, int on, int rts) {
    if (port->fd < 0 || port->kind != SERIAL_PORT_TTY) return;
    int bits = TIOCM_DTR | (rts ? TIOCM_RTS : 0);
    modem_lines(port->fd, on ? TIOCMBIS : TIOCMBIC, bits);
}

int serial_port_dsr(const SerialPort* port) {
    if (port->fd < 0 || port->kind != SERIAL_PORT_TTY) return 1;
    int bits = 0;
    if (ioctl(port->fd, TIOCMGET, &bits) != 0) return 1;
    return (bits & TIOCM_DSR) ? 1 : 0;
}

int serial_port_read(SerialPort* port, char* buffer, int max) {
    if (port->fd < 0) return -1;
    if (max <= 0) return 0;
    for (;;) {
        // The descriptor is non-blocking: a read takes only what is queued.
        ssize_t n = read(port->fd, buffer, static_cast<size_t>(max));
        if (n > 0 && port->kind == SERIAL_PORT_GPSD) {
            // Only gpsd's reports came: look for NMEA behind them.
            n = gpsd_source_filter(port, buffer, static_cast<int>(n));
            if (n == 0) continue;
        }
        if (n > 0) return static_cast<int>(n);
        // End of file on a terminal is a hang-up: the device went away.
        if (n == 0) return -1;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

int serial_port_write(const SerialPort* port, const char* bytes, int count, int timeoutMs,
                      int wakeFd, int waitDsr) {
    if (port->fd < 0) return -1;
    const int64_t deadline = timeoutMs >= 0 ? now_ms() + timeoutMs : -1;
    int written = 0;
    int started = 0;   // something went out, or the write had to wait
    while (written < count) {
        int remaining = -1;
        if (deadline >= 0) {
            int64_t left = deadline - now_ms();
            if (left <= 0 && started) break;
            remaining = left > 0 ? static_cast<int>(left) : 0;
        }
        if (waitDsr && !serial_port_dsr(port)) {
            // Output held by the peer's DSR: look again every 10 ms.
            started = 1;
            if (remaining == 0) break;
            pollfd p = {wakeFd, POLLIN, 0};
            int wait = remaining < 0 || remaining > 10 ? 10 : remaining;
            if (poll(&p, wakeFd >= 0 ? 1 : 0, wait) > 0) break;
            continue;
        }
        ssize_t n = write(port->fd, bytes + written, static_cast<size_t>(count - written));
        if (n > 0) {
            written += static_cast<int>(n);
            started = 1;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            started = 1;
            if (remaining == 0) break;
            pollfd p[2] = {{port->fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
            int r = poll(p, wakeFd >= 0 ? 2 : 1, remaining);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            if (wakeFd >= 0 && (p[1].revents & POLLIN)) break;
            if (p[0].revents & (POLLERR | POLLHUP | POLLNVAL)) break;
            continue;
        }
        if (!started) return -1;
        break;
    }
    return written;
}
