// Routing over a generated city: a square grid of streets 100 m apart,
// every tenth a primary road, every fifth row one-way (alternating). The
// 16 km city is imported by kiv-mapserver.sh import (the routing database's
// own build time against the whole import's), then routed by kivroute as
// the window runs it: a 20 km route and a re-route from 30 m beside the
// middle of it. A larger square (KIV_ROUTE_BENCH_KM km, default 60) gives
// the build time and peak memory of planetsplitter and kivroute.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

// From (20, 20) to (120, 120): 10 km east and 10 km north.
void Route20km(benchmark::State& state) {
    Child c;
    for (auto _ : state) c = runChild(kivroute(work + "/imports") + at(20, 20) + " " + at(120, 120));
    if (c.status != 0) state.SkipWithError(c.out.c_str());
    state.counters["route_km"] = std::atof(c.out.c_str()) / 1000;
    state.counters["peak_MB"] = c.peakMB;
    state.counters["cpu_ms"] = c.cpuMs;
}
BENCHMARK(Route20km)->Repetitions(15)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();

// Off the route 30 m north of Street 70, between two avenues, to the same end.
void Reroute(benchmark::State& state) {
    char from[64];
    std::snprintf(from, sizeof from, "%.6f,%.6f", latAt(70) + 30 / 111320.0, (lonAt(70) + lonAt(71)) / 2);
    Child c;
    for (auto _ : state) c = runChild(kivroute(work + "/imports") + from + " " + at(120, 120));
    if (c.status != 0) state.SkipWithError(c.out.c_str());
    state.counters["cpu_ms"] = c.cpuMs;
}
BENCHMARK(Reroute)->Repetitions(15)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();

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
