// Binary receiver decoders: zodiac_feed and garmin_feed on the real Zodiac
// and Garmin 18x captures repeated to a few MB, fed in the reader's 80-byte
// reads, beside gpsd's gpsdecode run as a process on the same bytes.
// Throughputs are per CPU second (the child's CPU time for gpsdecode), so a
// busy machine does not skew the ratio; gpsdecode's wall-clock rate is shown
// as wall_MB/s. The ratio table is printed after the runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "position/garmin.h"
#include "position/gps_fix.h"
#include "position/receiver_io.h"
#include "position/zodiac.h"

extern char** environ;

namespace {

const size_t kTargetBytes = 4u << 20;

struct Capture {
    std::string bytes;  // repeated to about kTargetBytes
    std::string path;   // the same bytes in a temporary file, for gpsdecode
};

Capture load(const char* name) {
    Capture c;
    std::ifstream in(std::string(KIV_TESTDATA_DIR) + "/receivers/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string one = s.str();
    if (one.empty()) return c;
    while (c.bytes.size() < kTargetBytes) c.bytes += one;
    c.path = std::string("/tmp/kiv_binary_bench_") + std::to_string(getpid()) + "_" + name;
    std::ofstream(c.path, std::ios::binary) << c.bytes;
    return c;
}

const Capture& zodiac_capture() {
    static Capture c = load("zodiac.bin");
    return c;
}
const Capture& garmin_capture() {
    static Capture c = load("garmin18x-bin.bin");
    return c;
}

int discard(const char*, int count, void*) { return count > 0; }

template <void (*Feed)(const char*, int), void (*Reset)()>
void feed_capture(benchmark::State& state, const Capture& c) {
    if (c.bytes.empty()) {
        state.SkipWithError("capture missing");
        return;
    }
    receiver_set_write_hook(discard, nullptr);
    const char* p = c.bytes.data();
    const int n = static_cast<int>(c.bytes.size());
    for (auto _ : state) {
        Reset();
        for (int i = 0; i < n; i += 80) Feed(p + i, n - i < 80 ? n - i : 80);
        benchmark::DoNotOptimize(gps_latitude());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

void BM_zodiac_feed(benchmark::State& state) { feed_capture<zodiac_feed, zodiac_reset>(state, zodiac_capture()); }
void BM_garmin_feed(benchmark::State& state) { feed_capture<garmin_feed, garmin_reset>(state, garmin_capture()); }

double child_cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// gpsdecode < capture > /dev/null; returns 0 when it ran and exited cleanly.
int run_gpsdecode(const std::string& input) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char name[] = "gpsdecode";
    char* argv[] = {name, nullptr};
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "gpsdecode", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return 1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return 1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

void gpsdecode_capture(benchmark::State& state, const Capture& c) {
    if (c.bytes.empty()) {
        state.SkipWithError("capture missing");
        return;
    }
    double wall = 0;
    for (auto _ : state) {
        double cpu0 = child_cpu_seconds();
        auto t0 = std::chrono::steady_clock::now();
        if (run_gpsdecode(c.path) != 0) {
            state.SkipWithError("gpsdecode did not run (is gpsd-clients installed?)");
            return;
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(child_cpu_seconds() - cpu0);
    }
    double bytes = static_cast<double>(state.iterations()) * c.bytes.size();
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["wall_MB/s"] = wall > 0 ? bytes / wall / 1e6 : 0;
}

void BM_gpsdecode_zodiac(benchmark::State& state) { gpsdecode_capture(state, zodiac_capture()); }
void BM_gpsdecode_garmin(benchmark::State& state) { gpsdecode_capture(state, garmin_capture()); }

BENCHMARK(BM_zodiac_feed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gpsdecode_zodiac)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_garmin_feed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_gpsdecode_garmin)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// Console output as usual, plus each run's byte rate for the ratio table.
class RateReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> rates;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& r : runs) {
            // With repetitions, the mean stands for the benchmark.
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "mean") continue;
            auto it = r.counters.find("bytes_per_second");
            if (!r.error_occurred && it != r.counters.end()) rates[r.run_name.function_name] = it->second.value;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-8s %14s %16s %8s\n", "capture", "kiv MB/s", "gpsdecode MB/s", "ratio");
    const char* pairs[][3] = {{"zodiac", "BM_zodiac_feed", "BM_gpsdecode_zodiac"},
                              {"garmin", "BM_garmin_feed", "BM_gpsdecode_garmin"}};
    for (auto& p : pairs) {
        if (!reporter.rates.count(p[1]) || !reporter.rates.count(p[2])) continue;
        double ours = reporter.rates[p[1]] / 1e6, theirs = reporter.rates[p[2]] / 1e6;
        std::printf("%-8s %14.1f %16.2f %7.0fx\n", p[0], ours, theirs, theirs > 0 ? ours / theirs : 0.0);
    }
    for (const Capture* c : {&zodiac_capture(), &garmin_capture()})
        if (!c->path.empty()) std::remove(c->path.c_str());
    benchmark::Shutdown();
    return 0;
}
