// Routing over a generated city: a square grid of streets 100 m apart,
// every tenth a primary road, every fifth row one-way (alternating). The
// 16 km city is imported by kiv-mapserver.sh import (the routing database's
// own build time against the whole import's), then routed by kivroute as
// the map server runs it (a process a request) and as the window does (one
// router kept running, asked through the window's own request code, the
// answer read and drawn over a 1920 x 1080 frame): a 20 km route and a
// re-route from 30 m beside the middle of it, side by side. A larger square (KIV_ROUTE_BENCH_KM km, default 60) gives
// the build time and peak memory of planetsplitter and kivroute.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/resource.h>
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
#include <vector>

#include "app/app_state.h"
#include "app/road_route_marks.h"
#include "app/route_job.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"
#include "nav/road_route.h"

namespace fs = std::filesystem;

namespace {

const double kLat0 = 45.30, kLon0 = -75.90, kStep = 100;   // metres between streets
std::string work;

double latAt(int j) { return kLat0 + j * kStep / 111320.0; }
double lonAt(int i) { return kLon0 + i * kStep / (111320.0 * std::cos(kLat0 * M_PI / 180)); }
std::string at(int i, int j) {
    char t[64];
    std::snprintf(t, sizeof t, "%.6f,%.6f", latAt(j), lonAt(i));
    return t;
}

// A city km across; its size in bytes.
long writeCity(const std::string& path, int km) {
    int n = km * 1000 / static_cast<int>(kStep) + 1;
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fprintf(f, "<?xml version=\"1.0\"?>\n<osm version=\"0.6\">\n");
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            std::fprintf(f, "<node id=\"%d\" version=\"1\" lat=\"%.7f\" lon=\"%.7f\"/>\n", 1 + i + j * n, latAt(j),
                         lonAt(i));
    int id = 0;
    for (int k = 0; k < n; k++)
        for (int across = 0; across < 2; across++) {
            std::fprintf(f, "<way id=\"%d\" version=\"1\">", ++id);
            for (int m = 0; m < n; m++) std::fprintf(f, "<nd ref=\"%d\"/>", 1 + (across ? k + m * n : m + k * n));
            bool main = k % 10 == 0, oneway = !main && !across && k % 5 == 0;
            std::fprintf(f, "<tag k=\"highway\" v=\"%s\"/><tag k=\"name\" v=\"%s %d\"/>%s</way>\n",
                         main ? "primary" : "residential", across ? "Avenue" : "Street", k,
                         oneway ? (k % 10 == 5 ? "<tag k=\"oneway\" v=\"yes\"/>" : "<tag k=\"oneway\" v=\"-1\"/>")
                                : "");
        }
    std::fprintf(f, "</osm>\n");
    long size = std::ftell(f);
    std::fclose(f);
    return size;
}

struct Child {
    int status = -1;
    std::string out;
    double peakMB = 0, cpuMs = 0;      // of the command and everything it ran
};

// A command run by sh, its output, and the peak memory and processor time
// of the largest process it ran (the machine may be shared, so the time
// of the processor says what the wall clock cannot).
Child runChild(const std::string& command) {
    Child c;
    int fds[2];
    if (pipe(fds) != 0) return c;
    pid_t pid = fork();
    if (pid == 0) {
        // A process of its own between, whose children's usage is only this command's.
        close(fds[0]);
        pid_t sh = fork();
        if (sh == 0) {
            dup2(fds[1], 1);
            dup2(fds[1], 2);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int st = 0;
        waitpid(sh, &st, 0);
        struct rusage ru {};
        getrusage(RUSAGE_CHILDREN, &ru);
        dprintf(fds[1], "\nusage %ld %.3f\n", ru.ru_maxrss,
                (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3);
        _exit(WIFEXITED(st) ? WEXITSTATUS(st) : 126);
    }
    close(fds[1]);
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) c.out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int st;
    waitpid(pid, &st, 0);
    c.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    size_t u = c.out.rfind("\nusage ");
    if (u != std::string::npos) {
        long kb = 0;
        std::sscanf(c.out.c_str() + u, "\nusage %ld %lf", &kb, &c.cpuMs);
        c.peakMB = kb / 1024.0;
        c.out.erase(u);
    }
    return c;
}

std::string kivroute(const std::string& data) { return std::string(KIVROUTE_PATH) + " --points --data '" + data + "' "; }

void CityImport16km(benchmark::State& state) {
    std::string imports = work + "/imports";
    long size = writeCity(work + "/city.osm", 16);
    Child c;
    for (auto _ : state)
        c = runChild("KIV_MAPIMPORTS='" + imports + "' " KIV_SOURCE_DIR "/mapserver/kiv-mapserver.sh import '" + work +
                     "/city.osm' city --replace");
    size_t a = c.out.find("Imported city in "), b = c.out.find("The routing database took ");
    if (c.status != 0 || a == std::string::npos || b == std::string::npos) {
        state.SkipWithError(c.out.c_str());
        return;
    }
    state.counters["extract_MB"] = size / 1e6;
    state.counters["import_s"] = std::atof(c.out.c_str() + a + 17);
    state.counters["routing_db_s"] = std::atof(c.out.c_str() + b + 26);
}
BENCHMARK(CityImport16km)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

double loadAverage() {
    double one = 0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &one) != 1) one = 0;
        std::fclose(f);
    }
    return one;
}

// From (20, 20) to (120, 120): 10 km east and 10 km north.
void Route20km(benchmark::State& state) {
    Child c;
    for (auto _ : state) c = runChild(kivroute(work + "/imports") + at(20, 20) + " " + at(120, 120));
    if (c.status != 0) state.SkipWithError(c.out.c_str());
    state.counters["route_km"] = std::atof(c.out.c_str()) / 1000;
    state.counters["peak_MB"] = c.peakMB;
    state.counters["cpu_ms"] = c.cpuMs;
    state.counters["load1"] = loadAverage();
}
BENCHMARK(Route20km)->Repetitions(15)->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); })
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// Off the route 30 m north of Street 70, between two avenues, to the same end.
std::string rerouteFrom() {
    char from[64];
    std::snprintf(from, sizeof from, "%.6f,%.6f", latAt(70) + 30 / 111320.0, (lonAt(70) + lonAt(71)) / 2);
    return from;
}

void Reroute(benchmark::State& state) {
    Child c;
    for (auto _ : state) c = runChild(kivroute(work + "/imports") + rerouteFrom() + " " + at(120, 120));
    if (c.status != 0) state.SkipWithError(c.out.c_str());
    state.counters["cpu_ms"] = c.cpuMs;
    state.counters["load1"] = loadAverage();
}
BENCHMARK(Reroute)->Repetitions(15)->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); })
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// Processor time of process pid so far, ms.
double cpuMsOf(pid_t pid) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return 0;
    char text[1024] = "";
    size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = 0;
    const char* p = std::strrchr(text, ')');
    unsigned long utime = 0, stime = 0;
    if (p) std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    return (utime + stime) * 1000.0 / sysconf(_SC_CLK_TCK);
}

// From request to drawn line as the window does it: the request to the
// router kept running, its answer read, and the line drawn over a 1920 x
// 1080 frame centred on the route's middle at the finest level. The first
// request (the router started, the database loaded) is not timed.
void ServedRoute(benchmark::State& state, const std::string& from, const std::string& to) {
    setenv("KIV_MAPIMPORTS", (work + "/imports").c_str(), 1);
    RouteAsk ask;
    ask.profile = "car";
    ask.program = KIVROUTE_PATH;
    for (const std::string* p : {&from, &to}) {
        ask.lats.push_back(std::atof(p->c_str()));
        ask.lons.push_back(std::atof(p->c_str() + p->find(',') + 1));
    }
    RouteServer server;
    auto one = [&](RoadRoute* route, std::string* why) {
        std::unique_ptr<RouteJob> job = route_job_start(ask, &server);
        while (!job->done) sched_yield();
        std::string reply = job->reply;
        *why = job->why;
        int ok = job->ok;
        route_job_end(&job, &server);
        return ok && road_route_parse(reply, route, why);
    };
    RoadRoute route;
    std::string why;
    if (!one(&route, &why)) {
        state.SkipWithError(why.c_str());
        route_server_end(&server);
        return;
    }
    constexpr int kWidth = 1920, kHeight = 1080;
    std::vector<uint32_t> px(static_cast<size_t>(kWidth) * kHeight, 0xFFE0E0E0u);
    ClientFrame frame{px.data(), kWidth, kHeight, kWidth, false, nullptr, nullptr};
    double cx, cy;
    const RoadPoint& middle = route.points[route.points.size() / 2];
    view_plane_from_degrees(VIEW_PLANE_WEB_MERCATOR, middle.lat, middle.lon, &cx, &cy);
    MapView& v = map_view;
    v.extPlane = VIEW_PLANE_WEB_MERCATOR;
    v.imageWidth = kWidth, v.imageHeight = kHeight;
    v.extMinX = cx - 2.5 * kWidth / 2, v.extMaxX = cx + 2.5 * kWidth / 2;
    v.extMinY = cy - 2.5 * kHeight / 2, v.extMaxY = cy + 2.5 * kHeight / 2;
    double routerCpu = cpuMsOf(server.pid), drawMs = 0;
    for (auto _ : state) {
        if (!one(&route, &why)) state.SkipWithError(why.c_str());
        auto t0 = std::chrono::steady_clock::now();
        road_route_marks_draw(&frame, route, 0, 0, 0, 0, kWidth, kHeight);
        drawMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        benchmark::DoNotOptimize(px.data());
    }
    state.counters["router_cpu_ms"] = (cpuMsOf(server.pid) - routerCpu) / static_cast<double>(state.iterations());
    state.counters["draw_ms"] = drawMs / static_cast<double>(state.iterations());
    state.counters["route_km"] = route.metres / 1000;
    state.counters["load1"] = loadAverage();
    route_server_end(&server);
}

void Route20kmServedAndDrawn(benchmark::State& state) { ServedRoute(state, at(20, 20), at(120, 120)); }
BENCHMARK(Route20kmServedAndDrawn)->Iterations(5)->Repetitions(15)->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); })
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void RerouteServedAndDrawn(benchmark::State& state) { ServedRoute(state, rerouteFrom(), at(120, 120)); }
BENCHMARK(RerouteServedAndDrawn)->Iterations(5)->Repetitions(15)->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); })
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// The largest extract: the routing database alone (as the import builds
// it), then a route across it.
void LargestExtract(benchmark::State& state) {
    const char* v = std::getenv("KIV_ROUTE_BENCH_KM");
    int km = v ? std::atoi(v) : 60;
    std::string dir = work + "/large";
    fs::create_directories(dir);
    long size = writeCity(dir + "/large.osm", km);
    Child build, route;
    for (auto _ : state)
        build = runChild("bash -c '. " KIV_SOURCE_DIR "/mapserver/route_data.sh && build_routes \"$0\" \"$1\"' '" + dir +
                         "' '" + dir + "/large.osm'");
    int far = km * 10 - 5;
    route = runChild(kivroute(dir) + at(5, 5) + " " + at(far, far));
    if (build.status != 0 || route.status != 0) {
        state.SkipWithError((build.out + route.out).c_str());
        return;
    }
    state.counters["extract_MB"] = size / 1e6;
    state.counters["streets_km"] = 2.0 * (km * 10 + 1) * km;
    state.counters["build_peak_MB"] = build.peakMB;
    state.counters["route_peak_MB"] = route.peakMB;
    state.counters["route_cpu_ms"] = route.cpuMs;
}
BENCHMARK(LargestExtract)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A generated province about Prince Edward Island's size, 220 x 80 km, on
// a lattice of 100 m: a city of 8 km square, eight towns of 3 km and sixty
// villages of 1 km (streets 100 m apart), rural roads every 4 km each way
// between them, and two highways the length of it. Its size in bytes; its
// nodes, ways and road length (km) in the others.
long writeProvince(const std::string& path, long* nodes, long* ways, double* roadKm) {
    constexpr int W = 2201, H = 801;   // lattice points east and north
    std::vector<char> used(static_cast<size_t>(W) * H, 0);
    struct Way {
        int i0, j0, i1, j1;            // lattice ends, straight east or north
        const char* kind;
    };
    std::vector<Way> all;
    auto grid = [&](int ci, int cj, int size, const char* kind) {
        for (int k = 0; k <= size; k++) {
            all.push_back({ci, cj + k, ci + size, cj + k, kind});
            all.push_back({ci + k, cj, ci + k, cj + size, kind});
        }
    };
    grid(1000, 350, 80, "residential");
    for (int t = 0; t < 8; t++) grid(100 + t * 260, t % 2 ? 100 : 600, 30, "residential");
    for (int v = 0; v < 60; v++) grid(40 + (v % 15) * 140, 40 + (v / 15) * 190, 10, "residential");
    // Rural roads in pieces of 1 to 4 km, so ways are of a realistic length.
    for (int i = 0; i < W; i += 40)
        for (int j = 0; j + 40 < H; j += 40) all.push_back({i, j, i, j + 40, "tertiary"});
    for (int j = 0; j < H; j += 40)
        for (int i = 0; i + 40 < W; i += 40) all.push_back({i, j, i + 40, j, "unclassified"});
    for (int j : {220, 580})
        for (int i = 0; i + 100 < W; i += 100) all.push_back({i, j, i + 100, j, "primary"});
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fprintf(f, "<?xml version=\"1.0\"?>\n<osm version=\"0.6\">\n");
    *roadKm = 0;
    for (const Way& w : all) {
        for (int i = w.i0; i <= w.i1; i++)
            for (int j = w.j0; j <= w.j1; j++) used[static_cast<size_t>(j) * W + i] = 1;
        *roadKm += (w.i1 - w.i0 + w.j1 - w.j0) * kStep / 1000;
    }
    *nodes = 0;
    for (int j = 0; j < H; j++)
        for (int i = 0; i < W; i++)
            if (used[static_cast<size_t>(j) * W + i]) {
                std::fprintf(f, "<node id=\"%d\" version=\"1\" lat=\"%.7f\" lon=\"%.7f\"/>\n", 1 + i + j * W, latAt(j),
                             lonAt(i));
                ++*nodes;
            }
    int id = 0;
    for (const Way& w : all) {
        std::fprintf(f, "<way id=\"%d\" version=\"1\">", ++id);
        for (int i = w.i0; i <= w.i1; i++)
            for (int j = w.j0; j <= w.j1; j++) std::fprintf(f, "<nd ref=\"%d\"/>", 1 + i + j * W);
        std::fprintf(f, "<tag k=\"highway\" v=\"%s\"/></way>\n", w.kind);
    }
    *ways = id;
    std::fprintf(f, "</osm>\n");
    long size = std::ftell(f);
    std::fclose(f);
    return size;
}

// kB of a line of /proc/pid/status ("VmHWM:", "RssAnon:", "RssFile:").
double statusMB(pid_t pid, const char* key) {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    char line[256];
    double kb = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atof(line + std::strlen(key));
    if (f) std::fclose(f);
    return kb / 1024;
}

// The engine's memory on the province: a route from its west end to its
// east end (about 210 km), the peak of the router kept running, and how
// much of what it holds after is its own (anonymous) and how much the
// database's files mapped.
void Province(benchmark::State& state) {
    std::string dir = work + "/province";
    fs::create_directories(dir);
    long nodes = 0, ways = 0;
    double roadKm = 0;
    long size = writeProvince(dir + "/province.osm", &nodes, &ways, &roadKm);
    Child build;
    for (auto _ : state)
        build = runChild("bash -c '. " KIV_SOURCE_DIR "/mapserver/route_data.sh && build_routes \"$0\" \"$1\"' '" + dir +
                         "' '" + dir + "/province.osm'");
    if (build.status != 0) {
        state.SkipWithError(build.out.c_str());
        return;
    }
    setenv("KIV_MAPIMPORTS", dir.c_str(), 1);
    RouteAsk ask;
    ask.profile = "car";
    ask.program = KIVROUTE_PATH;
    ask.lats = {latAt(220), latAt(580)};
    // At junctions: the straight rural roads between them are single long
    // segments once Routino prunes their straight nodes, and its search for
    // the road nearest a point looks only at nodes within 1 km.
    ask.lons = {lonAt(40), lonAt(2160)};
    RouteServer server;
    std::unique_ptr<RouteJob> job = route_job_start(ask, &server);
    while (!job->done) sched_yield();
    RoadRoute route;
    std::string why = job->why;
    if (!job->ok || !road_route_parse(job->reply, &route, &why)) state.SkipWithError(why.c_str());
    state.counters["route_peak_MB"] = statusMB(server.pid, "VmHWM:");
    state.counters["route_anon_MB"] = statusMB(server.pid, "RssAnon:");
    state.counters["route_file_MB"] = statusMB(server.pid, "RssFile:");
    state.counters["router_cpu_ms"] = cpuMsOf(server.pid);
    route_job_end(&job, &server);
    route_server_end(&server);
    state.counters["route_km"] = route.metres / 1000;
    state.counters["extract_MB"] = size / 1e6;
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["ways"] = static_cast<double>(ways);
    state.counters["roads_km"] = roadKm;
    state.counters["build_peak_MB"] = build.peakMB;
    state.counters["load1"] = loadAverage();
}
BENCHMARK(Province)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/kiv_route_bench_XXXXXX";
    work = mkdtemp(pattern);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(work);
    return 0;
}
