// kivsim: plays one GPS receiver (or phone) on a pseudo-terminal or a serial
// device, at the pace of its line speed, for trying Kiv without hardware and
// for the tests. The first line of output is the device to connect to.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "position/serial_port.h"
#include "settings/program_version.h"
#include "tools/kivsim/sim_run.h"

namespace {

volatile sig_atomic_t stop_requested = 0;

void on_signal(int) { stop_requested = 1; }

const char usage_text[] =
    "usage: kivsim [--mode MODE] [options]\n"
    "Plays a GPS receiver on a new pseudo-terminal (its path is the first line\n"
    "of output) or on --device PATH, paced at the line speed.\n"
    "\n"
    "modes:\n"
    "  nmea       RMC, GGA, GSA, GSV once a second along the route (default)\n"
    "  replay     the bytes of --file CAPTURE\n"
    "  tripmate   \"ASTRAL\" until answered twice, then as nmea\n"
    "  earthmate  \"EARTHA\" until answered, then Zodiac 1000/1002/1003 frames\n"
    "  garmin     answers position and time requests with packets 17 and 14\n"
    "  phone      answers AT+CMGF and AT+CMGL; a text message with RMC every second\n"
    "options:\n"
    "  --device PATH        use this serial device instead of a pseudo-terminal\n"
    "  --baud N             line speed for pacing (default 4800; 9600 for earthmate,\n"
    "                       garmin and phone)\n"
    "  --waypoints LIST     route \"lat,lon;lat,lon;...\" in degrees\n"
    "  --route FILE         route from a file of \"lat lon\" lines\n"
    "  --speed KMH          speed along the route (default 36; 0 stands still)\n"
    "  --start TIME         UTC of the first epoch, \"YYYY-MM-DD HH:MM:SS\" (default:\n"
    "                       the clock)\n"
    "  --file CAPTURE       capture for replay\n"
    "  --silent-after S     stop sending and answering after S seconds (prints\n"
    "                       \"silent\"); what arrives is still printed\n"
    "  --garbage            interleave random garbage bytes\n"
    "  --once               exit after the route (or capture) has been played once\n"
    "  --duration S         exit after S seconds (default: run until stopped)\n"
    "  --seed N             seed of the garbage generator\n"
    "  --wait-open          start playing only when the far side has opened and\n"
    "                       configured the pseudo-terminal (its line settings change)\n"
    "  --link PATH          keep a symbolic link PATH to the pseudo-terminal in use\n"
    "                       (a stable name, as /dev/serial/by-id/ gives)\n"
    "  --replug S           after S seconds the receiver is unplugged (its\n"
    "                       pseudo-terminal and the --link go away; prints\n"
    "                       \"unplugged\"), and S seconds later it is back on a new\n"
    "                       one behind the same link (prints \"replugged PATH\")\n"
    "  --help               this text\n"
    "  --version            the version\n"
    "Output: the device path, then an \"rx: ...\" line for everything received\n"
    "(Zodiac and Garmin packets decoded), and \"silent\" when --silent-after begins.\n"
    "Exit status: 0 when done or stopped (SIGINT, SIGTERM), 1 when the device\n"
    "cannot be opened, 2 for bad arguments.\n";

[[noreturn]] void bad_arguments(const char* what, const char* value) {
    fprintf(stderr, "kivsim: %s%s%s\n\n%s", what, value ? ": " : "", value ? value : "", usage_text);
    exit(2);
}

double number(const char* option, const char* text, double low, double high) {
    char* end;
    errno = 0;
    double v = strtod(text, &end);
    if (end == text || *end || errno || !(v >= low && v <= high)) bad_arguments(option, text);
    return v;
}

int mode_code(const char* name) {
    const char* names[] = {"nmea", "replay", "tripmate", "earthmate", "garmin", "phone"};
    for (int i = 0; i < 6; i++)
        if (!strcmp(name, names[i])) return i;
    bad_arguments("unknown mode", name);
}

time_t parse_start(const char* text) {
    tm t = {};
    char sep;
    if (sscanf(text, "%d-%d-%d%c%d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &sep, &t.tm_hour, &t.tm_min,
               &t.tm_sec) != 7 || (sep != ' ' && sep != 'T') || t.tm_mon < 1 || t.tm_mon > 12 ||
        t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 || t.tm_min > 59 || t.tm_sec > 60)
        bad_arguments("bad --start time", text);
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return timegm(&t);
}

void parse_arguments(int argc, char** argv, Sim& sim) {
    SimOptions& o = sim.opt;
    std::string waypoints = o.route;
    enum { MODE = 1, DEVICE, BAUD, WAYPOINTS, ROUTE, SPEED, START, FILE_, SILENT, DURATION, SEED, LINK, REPLUG,
           GARBAGE, ONCE, WAIT_OPEN };
    const option options[] = {{"mode", required_argument, nullptr, MODE},
                              {"device", required_argument, nullptr, DEVICE},
                              {"baud", required_argument, nullptr, BAUD},
                              {"waypoints", required_argument, nullptr, WAYPOINTS},
                              {"route", required_argument, nullptr, ROUTE},
                              {"speed", required_argument, nullptr, SPEED},
                              {"start", required_argument, nullptr, START},
                              {"file", required_argument, nullptr, FILE_},
                              {"silent-after", required_argument, nullptr, SILENT},
                              {"duration", required_argument, nullptr, DURATION},
                              {"seed", required_argument, nullptr, SEED},
                              {"link", required_argument, nullptr, LINK},
                              {"replug", required_argument, nullptr, REPLUG},
                              {"garbage", no_argument, nullptr, GARBAGE},
                              {"once", no_argument, nullptr, ONCE},
                              {"wait-open", no_argument, nullptr, WAIT_OPEN},
                              {"help", no_argument, nullptr, 'h'},
                              {"version", no_argument, nullptr, 'V'},
                              {nullptr, 0, nullptr, 0}};
    opterr = 0;   // bad_arguments says what was wrong, with the usage
    int index = -1;
    for (int c; (index = -1, c = getopt_long(argc, argv, ":hV", options, &index)) != -1;) {
        const char* v = optarg;
        std::string name = index >= 0 ? std::string("--") + options[index].name : "";
        const char* a = name.c_str();
        switch (c) {
        case 'h': fputs(usage_text, stdout); exit(0);
        case 'V': printf("kivsim %s\n", kiv_version); exit(0);
        case ':': bad_arguments("missing value after", argv[optind - 1]);
        case '?': bad_arguments("unknown option", argv[optind - 1]);
        case GARBAGE: o.garbage = 1; break;
        case ONCE: o.once = 1; break;
        case WAIT_OPEN: o.waitOpen = 1; break;
        case MODE: o.mode = mode_code(v); break;
        case DEVICE: o.device = v; break;
        case BAUD: o.baud = static_cast<int>(number(a, v, 50, 4000000)); break;
        case WAYPOINTS: waypoints = v; break;
        case ROUTE: o.routeFile = v; break;
        case SPEED: o.speedKmh = number(a, v, 0, 100000); break;
        case START: o.start = v; break;
        case FILE_: o.file = v; break;
        case SILENT: o.silentAfter = number(a, v, 0, 1e9); break;
        case DURATION: o.duration = number(a, v, 0, 1e9); break;
        case SEED: o.seed = static_cast<unsigned>(number(a, v, 0, 4294967295.0)); break;
        case LINK: o.link = v; break;
        case REPLUG: o.replug = number(a, v, 0.1, 1e6); break;
        }
    }
    if (optind < argc) bad_arguments("unexpected argument", argv[optind]);
    if (!o.routeFile.empty()) {
        if (!route_load(o.routeFile.c_str(), &sim.route)) bad_arguments("unreadable route file", o.routeFile.c_str());
    } else if (!route_parse(waypoints.c_str(), &sim.route)) {
        bad_arguments("bad waypoints", waypoints.c_str());
    }
    sim.route.speedKmh = o.speedKmh;
    if (o.mode == SIM_REPLAY) {
        FILE* f = o.file.empty() ? nullptr : fopen(o.file.c_str(), "rb");
        if (!f) bad_arguments("replay needs a readable --file", o.file.empty() ? nullptr : o.file.c_str());
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) sim.capture.append(buf, n);
        fclose(f);
        if (sim.capture.empty()) bad_arguments("empty capture", o.file.c_str());
    }
    if (!o.start.empty()) {
        sim.utcStart = parse_start(o.start.c_str());
        sim.fromClock = 0;
    }
    if (!o.baud) o.baud = sim_default_baud(o.mode);
    if (o.replug > 0 && (o.link.empty() || !o.device.empty()))
        bad_arguments("--replug needs --link and a pseudo-terminal", nullptr);
    sim.rng = o.seed;
}

double monotonic() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// A new pseudo-terminal. The slave stays open here too, in raw mode, so
// that the master does not see a hang-up while Kiv reconnects.
int open_pty(int* slave, std::string* path) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) || unlockpt(master)) return -1;
    char name[128];
    if (ptsname_r(master, name, sizeof name)) return -1;
    *slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*slave < 0) return -1;
    termios t;
    if (tcgetattr(*slave, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(*slave, TCSANOW, &t);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    *path = name;
    return master;
}

// Points the link at path: a new link beside it, renamed over the old one,
// so that the name never leads nowhere while it is being replaced.
void point_link(const std::string& link, const std::string& path) {
    if (link.empty()) return;
    std::string fresh = link + ".new";
    unlink(fresh.c_str());
    if (symlink(path.c_str(), fresh.c_str()) != 0 || rename(fresh.c_str(), link.c_str()) != 0)
        perror("kivsim: link");
}

// Puts every byte whose transmission has ended by now on the line.
void pace(Sim& sim, double now) {
    if (sim.out.empty() || now < sim.nextArrival) return;
    size_t n = 1 + static_cast<size_t>((now - sim.nextArrival) / sim.byteTime);
    if (n > sim.out.size()) n = sim.out.size();
    // A full queue on the far side loses the bytes, as a real line would.
    if (write(sim.fd, sim.out.data(), n) < 0 && errno != EAGAIN && errno != EIO) {
        perror("kivsim: write");
    }
    sim.out.erase(0, n);
    sim.nextArrival += static_cast<double>(n) * sim.byteTime;
}

// A hang-up discards what the far side has not read yet: after the last
// byte, give it up to two seconds to take everything.
void linger(int fd, int slave) {
    if (slave < 0) {
        tcdrain(fd);
        return;
    }
    for (int i = 0; i < 200 && !stop_requested; i++) {
        usleep(10000);
        int queued = 0;
        if (ioctl(slave, TIOCINQ, &queued) != 0 || queued == 0) {
            if (i >= 4) break;   // and nothing still on its way in
        }
    }
}

}  // namespace

void sim_queue(Sim& sim, const std::string& bytes, double now) {
    if (bytes.empty()) return;
    if (sim.out.empty() && sim.nextArrival < now + sim.byteTime) sim.nextArrival = now + sim.byteTime;
    sim.out += bytes;
}

int main(int argc, char** argv) {
    Sim sim;
    parse_arguments(argc, argv, sim);

    struct sigaction sa = {};
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int slave = -1;
    std::string path;
    SerialPort device = {-1, SERIAL_PORT_NONE, 0};
    if (!sim.opt.device.empty()) {
        SerialLine line = {static_cast<uint32_t>(sim.opt.baud), 8, 0, 0, 0};
        if (!serial_port_open(sim.opt.device.c_str(), &device) || !serial_port_configure(&device, &line)) {
            fprintf(stderr, "kivsim: cannot open %s at %d baud\n", sim.opt.device.c_str(), sim.opt.baud);
            serial_port_close(&device);
            return 1;
        }
        sim.fd = device.fd;
        path = sim.opt.device;
    } else {
        sim.fd = open_pty(&slave, &path);
        if (sim.fd < 0) {
            perror("kivsim: pseudo-terminal");
            return 1;
        }
    }
    // The line as it is before anyone else has opened it, taken before the
    // path is announced.
    termios initial;
    int waiting = sim.opt.waitOpen && slave >= 0 && tcgetattr(slave, &initial) == 0;
    point_link(sim.opt.link, path);
    printf("%s\n", path.c_str());
    fflush(stdout);

    sim.byteTime = 10.0 / sim.opt.baud;
    const double programStart = monotonic();
    while (waiting && !stop_requested) {
        // Any program that opens a serial port sets its line up.
        termios now;
        if (tcgetattr(slave, &now) == 0 &&
            (now.c_cflag != initial.c_cflag || now.c_iflag != initial.c_iflag))
            break;
        if (sim.opt.duration >= 0 && monotonic() - programStart >= sim.opt.duration) {
            stop_requested = 1;
            break;
        }
        usleep(5000);
    }
    sim.started = monotonic();
    double nextTick = sim.started;
    char buffer[512];
    int silentReported = 0;
    double unplugAt = sim.opt.replug > 0 ? sim.started + sim.opt.replug : -1;
    double replugAt = -1;
    while (!stop_requested) {
        double now = monotonic();
        if (unplugAt >= 0 && now >= unplugAt) {
            // Unplugged: the device and its name are gone; what was queued is lost.
            close(sim.fd);
            close(slave);
            sim.fd = slave = -1;
            unlink(sim.opt.link.c_str());
            sim.out.clear();
            unplugAt = -1;
            replugAt = now + sim.opt.replug;
            printf("unplugged\n");
            fflush(stdout);
        }
        if (replugAt >= 0) {
            if (now < replugAt) {
                usleep(10000);
                continue;
            }
            sim.fd = open_pty(&slave, &path);
            if (sim.fd < 0) {
                perror("kivsim: pseudo-terminal");
                return 1;
            }
            point_link(sim.opt.link, path);
            replugAt = -1;
            nextTick = now;
            printf("replugged %s\n", path.c_str());
            fflush(stdout);
        }
        if (sim.opt.duration >= 0 && now - programStart >= sim.opt.duration) break;
        if (sim.opt.silentAfter >= 0 && now - sim.started >= sim.opt.silentAfter) {
            sim.out.clear();
            if (!silentReported) {
                printf("silent\n");
                fflush(stdout);
                silentReported = 1;
            }
        }
        if (now >= nextTick && !sim.finish) {
            sim_tick(sim, now);
            sim.ticks++;
            nextTick += 1.0;
        }
        pace(sim, now);
        if (sim.finish && sim.out.empty() && now >= sim.nextArrival) break;

        double wake = nextTick;
        if (!sim.out.empty() && sim.nextArrival < wake) wake = sim.nextArrival;
        if (sim.opt.duration >= 0 && programStart + sim.opt.duration < wake) wake = programStart + sim.opt.duration;
        int timeout = wake > now ? static_cast<int>((wake - now) * 1000.0 + 0.999) : 0;
        pollfd p = {sim.fd, POLLIN, 0};
        if (poll(&p, 1, timeout) > 0 && (p.revents & POLLIN)) {
            ssize_t n = read(sim.fd, buffer, sizeof buffer);
            if (n > 0) sim_input(sim, buffer, static_cast<int>(n), monotonic());
        } else if (p.revents & (POLLHUP | POLLERR)) {
            // A device that went away: wait instead of spinning.
            usleep(10000);
        }
    }
    if (sim.finish && !stop_requested) linger(sim.fd, slave);
    if (device.fd >= 0)
        serial_port_close(&device);
    else if (sim.fd >= 0)
        close(sim.fd);
    if (slave >= 0) close(slave);
    if (!sim.opt.link.empty()) unlink(sim.opt.link.c_str());
    return 0;
}
