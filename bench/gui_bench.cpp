// The real window under an X server (Xvfb started here when DISPLAY is not
// set): one paint of the big 720 x 540 map with marker, cross-hair, trail
// and speed read-out, timed inside the paint handler and from the repaint
// request to the end of the paint; and the kiv program's start to its
// first painted sheet.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/view_pane.h"
#include "app/window_events.h"
#include "maps/zoom_levels.h"
#include "position/gps_fix.h"
#include "settings/menu_ids.h"
#include "tests/gui_sheets.h"
#include "ui/wx/wx_drive.h"

namespace {

constexpr double kFixLat = 45.47, kFixLon = -75.62;
constexpr int kLevel = 2;

pid_t xvfb = -1;
int receiver = -1;   // pty master the benchmark writes NMEA into
int receiverSlave = -1;

bool startXvfb() {
    if (getenv("DISPLAY")) return true;
    int fds[2];
    if (pipe(fds)) return false;
    xvfb = fork();
    if (xvfb == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "2048x1280x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char number[16] = {};
    pollfd p{fds[0], POLLIN, 0};
    ssize_t n = poll(&p, 1, 15000) == 1 ? read(fds[0], number, sizeof number - 1) : -1;
    close(fds[0]);
    if (n <= 0) return false;
    number[strcspn(number, "\n")] = 0;
    setenv("DISPLAY", (std::string(":") + number).c_str(), 1);
    return true;
}

std::string nmea(const std::string& body) {
    int sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

// A moving fix (20 knots east) at a position.
void sendFixAt(double lat, double lon) {
    auto field = [](double deg, int width) {
        double a = std::fabs(deg);
        int d = static_cast<int>(a);
        char out[32];
        snprintf(out, sizeof out, "%0*d%07.4f", width, d, (a - d) * 60.0);
        return std::string(out);
    };
    std::string rmc = nmea("GPRMC,120000,A," + field(lat, 2) + ",N," + field(lon, 3) + ",W,20.0,90.0,080525,,");
    if (write(receiver, rmc.data(), rmc.size()) < 0) perror("receiver");
}

void sendFix() { sendFixAt(kFixLat, kFixLon); }

// A folder with the big sheet of the fix, the receiver on a pty (or none),
// speed in km/h and a 3-pixel cross-hair.
std::string prepareFolder(const char* port) {
    char pattern[] = "/tmp/kiv_gui_bench_XXXXXX";
    std::string dir = mkdtemp(pattern);
    // The sheets around the fix, so a drag composes stored sheets, not hatching.
    double step = zoom_level_step(kLevel), lat0 = zoom_level_snap_latitude(kFixLat, kLevel, 0), lon0 = zoom_level_snap_longitude(kFixLon, kLevel, 1);
    for (int dy = -3; dy <= 3; dy++)
        for (int dx = -4; dx <= 4; dx++) writeGuiSheet(dir, lat0 + dy * step, lon0 + 2 * dx * step, kLevel, 1);
    auto put = [&](const char* name, const std::string& text) {
        FILE* f = fopen((dir + "/" + name).c_str(), "w");
        if (!f) return;
        fputs(text.c_str(), f);
        fclose(f);
    };
    put("kiv_ini.txt", std::string("Com1=") + port + "\nProbe=http://127.0.0.1:1/\nServer=http://127.0.0.1:1/\n"
                       "Init=2\nDash=K\nHair=3\n");
    put("kiv_dev.txt", "NMEA\n");
    put("kiv_com.txt", port[0] ? "COM1\nBig\n" : "COM0\nBig\n");
    put("kiv_pos.txt", "N 45 28 12\nW 75 37 12\n");
    put("kiv_state.txt", "Width=1920\nHeight=1080\nFollow=0\n");
    return dir;
}

// The worst frame of a run, in wall time and in the painting thread's CPU
// time (the wall time takes in whatever else the host ran).
struct WorstFrame {
    double wall = 0, cpu = 0;
    void take(double handlerMs) {
        wall = std::max(wall, handlerMs);
        cpu = std::max(cpu, wx_drive_paint_cpu_ms());
    }
    void report(benchmark::State& state) const {
        state.counters["worst_ms"] = wall;
        state.counters["worst_cpu_ms"] = cpu;
    }
};

// A drag across the 1920 x 1080 pane, a step of a few pixels per frame as a
// hand moves: each frame composes the view anew. The worst frame is kept,
// and the sheets the paints decoded themselves (none: the worker does).
void DragFrame1920x1080(benchmark::State& state) {
    int x = 1000, y = 600, dir = -1;
    WorstFrame worst;
    const long decodes = view_pane.cache.decodes;
    app_mouse_down(APP_BUTTON_LEFT, x, y, 0);
    for (auto _ : state) {
        x += dir * 7;
        y += dir * 3;
        if (x < 300 || x > 1700) dir = -dir;
        app_mouse_move(x, y, 1);
        double handler = 0, request = 0;
        if (!wx_drive_repaint(&handler, &request, 2000)) {
            state.SkipWithError("no paint");
            break;
        }
        worst.take(handler);
        state.SetIterationTime(handler / 1e3);
    }
    app_mouse_up(APP_BUTTON_LEFT, x, y);
    worst.report(state);
    state.counters["paint_decodes"] = static_cast<double>(view_pane.cache.decodes - decodes);
}

// Driving with Auto Pan from the fix east across the stored sheets and
// back west, a twentieth of a sheet a fix (turning at the ends, never
// jumping): each frame composes the followed view, and every twentieth
// brings a sheet in. The worst frame is kept, and the sheets the paints
// decoded themselves.
void DriveFrame1920x1080(benchmark::State& state) {
    const double span = 3 * 2 * zoom_level_step(kLevel), step = 2 * zoom_level_step(kLevel) / 20;
    double lon = kFixLon, dir = 1;
    WorstFrame worst;
    app_key_down(APP_KEY_HOME, 0);   // back to the vehicle, Auto Pan on
    // Home shows the vehicle's view afresh (decoded at once, as any jump):
    // not a frame of the drive.
    double handler = 0, request = 0;
    wx_drive_repaint(&handler, &request, 2000);
    const long decodes = view_pane.cache.decodes;
    for (auto _ : state) {
        if (std::fabs(lon + dir * step - kFixLon) > span) dir = -dir;
        lon += dir * step;
        sendFixAt(kFixLat, lon);
        // Taken by the reader when the window shows it at the new place.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::fabs(gps_longitude() - lon) > 1e-5 && std::chrono::steady_clock::now() < deadline)
            wx_drive_run(1);
        if (std::fabs(gps_longitude() - lon) > 1e-5 || !wx_drive_repaint(&handler, &request, 2000)) {
            state.SkipWithError("fix not taken or no paint");
            break;
        }
        worst.take(handler);
        state.SetIterationTime(handler / 1e3);
    }
    sendFix();
    worst.report(state);
    state.counters["paint_decodes"] = static_cast<double>(view_pane.cache.decodes - decodes);
}

// Zooming a notch out and back in, the frames painted as the window's
// timer asks for them: each zoom's worst frame (the last composes the new
// scale, from sheets filtered to it on the way or not), over all zooms in
// wall and CPU time, and the frames a zoom took.
void ZoomFrames1920x1080(benchmark::State& state) {
    int notch = -1;                    // out first: the level's sheets filtered down
    WorstFrame worst;
    long frames = 0, zooms = 0;
    for (auto _ : state) {
        app_mouse_wheel(960, 540, notch);
        double zoomWorst = 0;
        do {
            double handler = 0, request = 0;
            if (!wx_drive_repaint(&handler, &request, 2000)) {
                state.SkipWithError("no paint");
                return;
            }
            zoomWorst = std::max(zoomWorst, handler);
            worst.take(handler);
            frames++;
        } while (view_pane_zooming());
        zooms++;
        state.SetIterationTime(zoomWorst / 1e3);
        notch = -notch;
    }
    worst.report(state);
    state.counters["frames_per_zoom"] = static_cast<double>(frames) / static_cast<double>(std::max(1L, zooms));
}

// A paint of the window as it stands (a pointer moved, the clock ticked):
// its wall time, and the CPU time of the thread that painted (cpu_ms, on
// average; the rest is the host's).
void PaintHandler1920x1080(benchmark::State& state) {
    double cpu = 0;
    for (auto _ : state) {
        double handler = 0, request = 0;
        if (!wx_drive_repaint(&handler, &request, 2000)) {
            state.SkipWithError("no paint");
            return;
        }
        cpu += wx_drive_paint_cpu_ms();
        state.SetIterationTime(handler / 1e3);
    }
    state.counters["cpu_ms"] = cpu / std::max<double>(1, static_cast<double>(state.iterations()));
}

void RepaintRequestToPainted(benchmark::State& state) {
    for (auto _ : state) {
        double handler = 0, request = 0;
        if (!wx_drive_repaint(&handler, &request, 2000)) {
            state.SkipWithError("no paint");
            return;
        }
        state.SetIterationTime(request / 1e3);
    }
}

// The program as a user starts it, to the line it prints (asked to with
// KIV_PAINT_LOG) after the first paint that showed a sheet; ended with
// SIGTERM, which closes it cleanly.
void StartToFirstPaint(benchmark::State& state) {
    std::string dir = prepareFolder("");
    std::string program = KIV_BINARY_DIR "/ui/wx/kiv";
    setenv("KIV_PAINT_LOG", "1", 1);
    for (auto _ : state) {
        int out[2];
        if (pipe(out)) break;
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            if (chdir(dir.c_str())) _exit(127);
            execl(program.c_str(), "kiv", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string seen;
        char buf[256];
        bool painted = false;
        pollfd p{out[0], POLLIN, 0};
        while (!painted && poll(&p, 1, 10000) == 1) {
            ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            seen.append(buf, static_cast<size_t>(n));
            painted = seen.find("kiv: painted\n") != std::string::npos;
        }
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        close(out[0]);
        if (!painted) {
            state.SkipWithError("no first paint");
            break;
        }
        state.SetIterationTime(ms / 1e3);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

BENCHMARK(DragFrame1920x1080)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(DriveFrame1920x1080)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(ZoomFrames1920x1080)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(PaintHandler1920x1080)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(RepaintRequestToPainted)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(StartToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!startXvfb()) {
        fprintf(stderr, "gui_bench: no X server\n");
        return 1;
    }
    receiver = posix_openpt(O_RDWR | O_NOCTTY);
    if (receiver < 0 || grantpt(receiver) || unlockpt(receiver)) return 1;
    std::string port = ptsname(receiver);
    receiverSlave = open(port.c_str(), O_RDWR | O_NOCTTY);
    std::string dir = prepareFolder(port.c_str());
    std::string home = std::filesystem::current_path();
    std::filesystem::current_path(dir);

    if (!wx_drive_start(10000)) {
        fprintf(stderr, "gui_bench: the window never painted a sheet\n");
        return 1;
    }
    // Marker, trail and speed read-out in every paint.
    app_command(MENU_TRACK);
    sendFix();
    wx_drive_run(1500);
    benchmark::RunSpecifiedBenchmarks();
    wx_drive_stop();

    std::filesystem::current_path(home);
    std::filesystem::remove_all(dir);
    if (xvfb > 0) {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
    }
    benchmark::Shutdown();
    return 0;
}
