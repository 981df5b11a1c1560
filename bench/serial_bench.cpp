// Latency from an NMEA sentence written on the far side of a pseudo-terminal
// to the fix record holding its position: through the reader thread's wait,
// the 80-byte reads, the decoder and the fix record; and the same through
// gpsd, which reads the pseudo-terminal as it reads gpsfake's, and hands the
// sentence on to a gpsd:// link. Reported in microseconds as the median and
// the worst of all iterations (the waiting side looks every 10 us, which
// bounds the measuring error).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "position/gps_fix.h"
#include "position/nmea.h"
#include "position/serial_link.h"
#include "settings/app_settings.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct FarSide {
    int master = -1, slave = -1;
    std::string path;
};

bool open_far_side(FarSide* f) {
    f->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (f->master < 0 || grantpt(f->master) || unlockpt(f->master)) return false;
    char name[128];
    if (ptsname_r(f->master, name, sizeof name)) return false;
    f->path = name;
    f->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t;
    tcgetattr(f->slave, &t);
    cfmakeraw(&t);
    tcsetattr(f->slave, TCSANOW, &t);
    return f->slave >= 0;
}

// GGA carries a position without a date: the same time of day every line.
std::string gga(int i) {
    char body[128];
    snprintf(body, sizeof body, "GPGGA,123519,%02d%02d.%04d,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", 48,
             7 + i / 10000, i % 10000);
    unsigned x = 0;
    for (const char* p = body; *p; p++) x ^= static_cast<unsigned char>(*p);
    char out[160];
    snprintf(out, sizeof out, "$%s*%02X\r\n", body, x);
    return out;
}

double latitude_of(int i) { return 48 + (7 + i / 10000 + (i % 10000) / 10000.0) / 60.0; }

// paced: bytes leave at 4800 baud (10 bits each); otherwise all at once.
void sentence_to_fix(benchmark::State& state, bool paced) {
    FarSide far;
    if (!open_far_side(&far)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    auto s = std::make_unique<AppSettings>();
    s->commHandle = -1;
    s->deviceType = DEVICE_NMEA;
    s->comPort = 1;
    snprintf(s->comPath[1], sizeof s->comPath[1], "%s", far.path.c_str());
    s->baudRate = 4800;
    s->dataBits = 8;
    gps_reset();
    nmea_reset();
    prctl(PR_SET_TIMERSLACK, 1UL);   // the 10 us waits below stay near 10 us
    if (!serial_open(s.get())) {
        state.SkipWithError("serial_open failed");
        return;
    }
    const auto byteTime = std::chrono::nanoseconds(10 * 1000000000LL / 4800);
    std::vector<double> micros;
    int i = 0;
    for (auto _ : state) {
        std::string line = gga(++i % 100000);
        double want = latitude_of(i % 100000);
        Clock::time_point last;
        if (paced) {
            auto next = Clock::now();
            for (char c : line) {
                std::this_thread::sleep_until(next);
                last = Clock::now();
                if (write(far.master, &c, 1) != 1) state.SkipWithError("write failed");
                next += byteTime;
            }
        } else {
            last = Clock::now();
            if (write(far.master, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
                state.SkipWithError("write failed");
        }
        // Short sleeps, not a spin: a spinning waiter would hold back the
        // reader and the kernel's tty worker on a small machine.
        while (std::abs(gps_latitude() - want) > 1e-9) std::this_thread::sleep_for(std::chrono::microseconds(10));
        double us = std::chrono::duration<double, std::micro>(Clock::now() - last).count();
        micros.push_back(us);
        state.SetIterationTime(us / 1e6);
    }
    serial_close(s.get());
    close(far.slave);
    close(far.master);
    if (micros.empty()) return;
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["worst_us"] = micros.back();
    state.counters["sentences"] = static_cast<double>(micros.size());
}

// A loopback port nobody listens on right now.
int free_port() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

// gpsd in the foreground on the pseudo-terminal, read-only (no probes
// written to it), polling it before any client comes; output dropped.
pid_t start_gpsd(const std::string& device, int port) {
    std::string portText = std::to_string(port);
    std::vector<std::string> args = {"gpsd", "-N", "-n", "-b", "-S", portText, device};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    // Debian keeps it in /usr/sbin, which a user's PATH may lack.
    const char* program = access("/usr/sbin/gpsd", X_OK) == 0 ? "/usr/sbin/gpsd" : "gpsd";
    int r = posix_spawnp(&pid, program, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return r == 0 ? pid : -1;
}

void BM_SentenceThroughGpsdToFix(benchmark::State& state) {
    FarSide far;
    if (!open_far_side(&far)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const int port = free_port();
    const pid_t gpsd = start_gpsd(far.path, port);
    if (gpsd < 0) {
        state.SkipWithError("gpsd is not installed");
        return;
    }
    auto s = std::make_unique<AppSettings>();
    s->commHandle = -1;
    s->deviceType = DEVICE_NMEA;
    s->comPort = 1;
    snprintf(s->comPath[1], sizeof s->comPath[1], "gpsd://127.0.0.1:%d", port);
    s->baudRate = 4800;
    s->dataBits = 8;
    gps_reset();
    nmea_reset();
    prctl(PR_SET_TIMERSLACK, 1UL);
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!serial_open(s.get()) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // gpsd first has to take the device for NMEA: sentences until one comes through.
    int i = 0;
    while (s->connected.load() == 1 && Clock::now() < deadline) {
        std::string line = gga(++i);
        if (write(far.master, line.data(), line.size()) < 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (std::abs(gps_latitude() - latitude_of(i)) < 1e-9) break;
    }
    if (std::abs(gps_latitude() - latitude_of(i)) > 1e-9) {
        state.SkipWithError("no fix through gpsd");
    } else {
        std::vector<double> micros;
        for (auto _ : state) {
            std::string line = gga(++i % 100000);
            double want = latitude_of(i % 100000);
            Clock::time_point start = Clock::now();
            if (write(far.master, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
                state.SkipWithError("write failed");
            while (std::abs(gps_latitude() - want) > 1e-9) std::this_thread::sleep_for(std::chrono::microseconds(10));
            double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            micros.push_back(us);
            state.SetIterationTime(us / 1e6);
            // One sentence at a time, as a receiver sends them.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::sort(micros.begin(), micros.end());
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["worst_us"] = micros.back();
        state.counters["sentences"] = static_cast<double>(micros.size());
    }
    serial_close(s.get());
    kill(gpsd, SIGTERM);
    waitpid(gpsd, nullptr, 0);
    close(far.slave);
    close(far.master);
}

void BM_SentenceToFixAt4800(benchmark::State& state) { sentence_to_fix(state, true); }
void BM_SentenceToFixBurst(benchmark::State& state) { sentence_to_fix(state, false); }

BENCHMARK(BM_SentenceToFixAt4800)->UseManualTime()->Iterations(60)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SentenceToFixBurst)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SentenceThroughGpsdToFix)->UseManualTime()->Iterations(500)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
