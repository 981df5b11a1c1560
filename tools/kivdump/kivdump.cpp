// kivdump: feeds a receiver capture to the decoders the way the serial reader
// does (chunks of at most N bytes) and prints the fix whenever it changes.
//
//   kivdump --device nmea|usb|earthmate|tripmate|garmin|sms [--chunk N]
//           [--zone H] [--show-writes] FILE|-
//
// Output: a header line, then one tab-separated line per change of the
// printed fields: UTC text, fix mode, latitude, longitude, altitude, speed in
// knots, course, satellites in view. The fix is looked at after each chunk,
// so the rows depend on the chunk size; the final state does not.
#include <getopt.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "position/gps_fix.h"
#include "platform/console_backend.h"
#include "position/receiver_feed.h"
#include "position/receiver_io.h"
#include "settings/app_settings.h"
#include "settings/program_version.h"

namespace {

struct DeviceName {
    const char* name;
    int deviceType;
    int supported;
};

const DeviceName devices[] = {
    {"nmea", DEVICE_NMEA, 1},      {"usb", DEVICE_USB_EARTHMATE, 1}, {"earthmate", DEVICE_EARTHMATE, 1},
    {"tripmate", DEVICE_TRIPMATE, 1}, {"garmin", DEVICE_GARMIN, 1},   {"sms", DEVICE_SMS, 1},
};

const int max_chunk = 1 << 20;

struct DumpOptions {
    const DeviceName* device = nullptr;
    int chunk = 80;
    int zone = 0;
    int showWrites = 0;
    const char* input = nullptr;
};

// The fix fields as printed; compared raw first so that most chunks cost
// no formatting.
struct PrintedFix {
    char utc[GPS_TIME_TEXT];
    int mode;
    double latitude, longitude, altitude, speed, course;
    int satellites;
};

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: kivdump --device nmea|usb|earthmate|tripmate|garmin|sms [--chunk N] [--zone H] "
                 "[--show-writes] FILE|-\n"
                 "       kivdump --help | --version\n");
}

int fail(const char* message, const char* detail) {
    std::fprintf(stderr, "kivdump: %s%s\n", message, detail ? detail : "");
    usage(stderr);
    return 2;
}

// A whole decimal number in [low, high]; 0 when the text is anything else.
int parse_number(const char* text, int low, int high, int* out) {
    if (!text || !*text) return 0;
    char* stop = nullptr;
    errno = 0;
    long v = std::strtol(text, &stop, 10);
    if (*stop != 0 || errno != 0 || v < low || v > high) return 0;
    *out = static_cast<int>(v);
    return 1;
}

int show_write(const char* bytes, int count, void*) {
    std::fprintf(stderr, "write %d:", count);
    for (int i = 0; i < count; ++i) std::fprintf(stderr, " %02X", static_cast<unsigned char>(bytes[i]));
    std::fprintf(stderr, "\n");
    return 1;
}

void read_fix(PrintedFix* f) {
    gps_copy_utc_text(f->utc);
    f->mode = gps_fix_mode();
    f->latitude = gps_latitude();
    f->longitude = gps_longitude();
    f->altitude = gps_altitude();
    f->speed = gps_speed_knots();
    f->course = gps_course();
    f->satellites = gps_satellites_in_view();
}

bool same_fix(const PrintedFix& a, const PrintedFix& b) {
    return std::strcmp(a.utc, b.utc) == 0 && a.mode == b.mode && a.latitude == b.latitude &&
           a.longitude == b.longitude && a.altitude == b.altitude && a.speed == b.speed && a.course == b.course &&
           a.satellites == b.satellites;
}

void format_fix(const PrintedFix& f, char* out, int size) {
    std::snprintf(out, size, "%s\t%d\t%.9f\t%.9f\t%.3f\t%.3f\t%.3f\t%d\n", f.utc, f.mode, f.latitude, f.longitude,
                  f.altitude, f.speed, f.course, f.satellites);
}

int parse_options(int argc, char** argv, DumpOptions* o) {
    const option options[] = {{"device", required_argument, nullptr, 'd'},
                              {"chunk", required_argument, nullptr, 'c'},
                              {"zone", required_argument, nullptr, 'z'},
                              {"show-writes", no_argument, nullptr, 'w'},
                              {"help", no_argument, nullptr, 'h'},
                              {"version", no_argument, nullptr, 'V'},
                              {nullptr, 0, nullptr, 0}};
    opterr = 0;   // fail() says what was wrong, with the usage line
    for (int c; (c = getopt_long(argc, argv, ":hV", options, nullptr)) != -1;) {
        const char* v = optarg;
        if (c == 'd') {
            o->device = nullptr;
            for (const auto& d : devices)
                if (std::strcmp(d.name, v) == 0) o->device = &d;
            if (!o->device) return fail("unknown device: ", v);
        } else if (c == 'c') {
            if (!parse_number(v, 1, max_chunk, &o->chunk)) return fail("bad chunk size (1 to 1048576): ", v);
        } else if (c == 'z') {
            if (!parse_number(v, -24, 24, &o->zone)) return fail("bad time zone (whole hours, -24 to 24): ", v);
        } else if (c == 'w') {
            o->showWrites = 1;
        } else if (c == 'h') {
            usage(stdout);
            std::exit(0);
        } else if (c == 'V') {
            std::printf("kivdump %s\n", kiv_version);
            std::exit(0);
        } else if (c == ':') {
            return fail("missing value after ", argv[optind - 1]);
        } else {
            return fail("unknown option: ", argv[optind - 1]);
        }
    }
    for (int i = optind; i < argc; ++i) {
        if (o->input) return fail("more than one input: ", argv[i]);
        o->input = argv[i];
    }
    if (!o->device) return fail("no --device given", nullptr);
    if (!o->input) return fail("no input file given", nullptr);
    if (!o->device->supported) {
        std::fprintf(stderr, "kivdump: --device %s is not supported yet\n", o->device->name);
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Warnings of the layers below (settings, ports, files) go to stderr.
    platform_install_console("kivdump");
    DumpOptions o;
    if (int rc = parse_options(argc, argv, &o)) return rc;

    bool fromStdin = std::strcmp(o.input, "-") == 0;
    std::FILE* in = fromStdin ? stdin : std::fopen(o.input, "rb");
    if (!in) {
        std::fprintf(stderr, "kivdump: cannot open %s: %s\n", o.input, std::strerror(errno));
        return 2;
    }
    struct stat info;
    if (fstat(fileno(in), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "kivdump: cannot read %s: %s\n", o.input, std::strerror(EISDIR));
        if (!fromStdin) std::fclose(in);
        return 2;
    }

    gps_set_zone(o.zone);
    if (o.showWrites) receiver_set_write_hook(show_write, nullptr);

    std::printf("utc\tmode\tlatitude\tlongitude\taltitude\tspeed_knots\tcourse\tsatellites\n");
    PrintedFix shown{}, now{};
    read_fix(&shown);
    char shownText[256] = "", nowText[256];
    static char block[1 << 16];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
        for (size_t at = 0; at < got;) {
            int n = static_cast<int>(got - at < static_cast<size_t>(o.chunk) ? got - at : o.chunk);
            receiver_feed(o.device->deviceType, block + at, n);
            at += n;
            read_fix(&now);
            if (same_fix(now, shown)) continue;
            shown = now;
            format_fix(now, nowText, sizeof nowText);
            if (std::strcmp(nowText, shownText) == 0) continue;
            std::memcpy(shownText, nowText, sizeof nowText);
            std::fputs(nowText, stdout);
        }
    }
    bool readError = std::ferror(in);
    int readErrno = errno;
    if (!fromStdin) std::fclose(in);
    if (readError) {
        std::fprintf(stderr, "kivdump: cannot read %s: %s\n", o.input, std::strerror(readErrno));
        return 2;
    }
    if (std::fflush(stdout) != 0) return 2;
    return 0;
}
