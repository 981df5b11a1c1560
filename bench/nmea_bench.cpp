// NMEA decoder throughput: nmea_feed on the largest NMEA capture
// (telit-he910) repeated to about 4 MB and fed in the reader's 80-byte
// reads, beside two whole processes on the same bytes from a file on stdin:
// gpsd's gpsdecode and kivdump. Each copy of the capture is moved on by one
// day (RMC dates rewritten, checksums redone), so every copy is newer than
// the last, as a receiver's stream would be, and no RMC is dropped as older.
// Rates are per CPU second (the child's CPU time for the processes), so a
// busy machine does not skew the ratio; wall-clock rates are shown beside.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "position/gps_fix.h"
#include "position/nmea.h"

extern char** environ;

namespace {

const size_t target_bytes = 4u << 20;
const int reader_chunk = 80;

struct Stream {
    std::string bytes;
    std::string path;  // the same bytes in a temporary file, for the processes
    long sentences = 0;
};

std::string with_checksum(const std::string& body) {
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return "$" + body + tail;
}

// One copy of the capture with every RMC date replaced by ddmmyy.
std::string copy_dated(const std::string& capture, const char* ddmmyy) {
    std::string out;
    std::istringstream in(capture);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 7, "$GPRMC,") == 0) {
            std::string cr = !line.empty() && line.back() == '\r' ? "\r" : "";
            std::string body = line.substr(1, line.find('*') - 1);
            int commas = 0;
            size_t at = 0;
            while (commas < 9 && (at = body.find(',', at)) != std::string::npos) ++commas, ++at;
            if (commas == 9 && body.compare(at, 6, "120319") == 0) {
                body.replace(at, 6, ddmmyy);
                line = with_checksum(body) + cr;
            }
        }
        out += line + "\n";
    }
    return out;
}

const Stream& telit_stream() {
    static Stream s = [] {
        Stream s;
        std::ifstream in(std::string(KIV_TESTDATA_DIR) + "/receivers/telit-he910.bin", std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        std::string one = all.str();
        if (one.empty()) return s;
        std::tm day{};
        day.tm_year = 119, day.tm_mon = 2, day.tm_mday = 12, day.tm_hour = 12;
        while (s.bytes.size() < target_bytes) {
            std::time_t t = timegm(&day);
            std::tm d{};
            gmtime_r(&t, &d);
            char ddmmyy[40];
            std::snprintf(ddmmyy, sizeof ddmmyy, "%02d%02d%02d", d.tm_mday, d.tm_mon + 1, d.tm_year % 100);
            s.bytes += copy_dated(one, ddmmyy);
            day.tm_mday += 1;
        }
        for (char c : s.bytes) s.sentences += c == '$';
        s.path = "/tmp/kiv_nmea_bench_" + std::to_string(getpid()) + ".bin";
        std::ofstream(s.path, std::ios::binary) << s.bytes;
        return s;
    }();
    return s;
}

struct Rate {
    double cpuMBs = 0, wallMBs = 0, cpuSentences = 0;
};
std::map<std::string, Rate> rates;

double cpu_seconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_NmeaFeed(benchmark::State& state) {
    const Stream& s = telit_stream();
    if (s.bytes.empty()) return state.SkipWithError("telit-he910.bin not found");
    double cpu = 0, wall = 0;
    long runs = 0;
    for (auto _ : state) {
        gps_reset();
        nmea_reset();
        double c0 = cpu_seconds(RUSAGE_SELF);
        auto w0 = std::chrono::steady_clock::now();
        for (size_t at = 0; at < s.bytes.size(); at += reader_chunk)
            nmea_feed(s.bytes.data() + at, static_cast<int>(std::min<size_t>(reader_chunk, s.bytes.size() - at)));
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
        cpu += cpu_seconds(RUSAGE_SELF) - c0;
        ++runs;
    }
    if (gps_utc_text().empty()) state.SkipWithError("nothing decoded");
    double mb = s.bytes.size() * static_cast<double>(runs) / 1e6;
    rates["nmea_feed"] = {mb / cpu, mb / wall, s.sentences * static_cast<double>(runs) / cpu};
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
    state.counters["sentences/s"] = benchmark::Counter(static_cast<double>(s.sentences) * state.iterations(),
                                                       benchmark::Counter::kIsRate);
}

// Runs program with the stream's file on stdin and its output discarded.
bool run_process(const std::vector<std::string>& args, const std::string& input) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void run_process_bench(benchmark::State& state, const std::string& name, const std::vector<std::string>& args) {
    const Stream& s = telit_stream();
    if (s.bytes.empty()) return state.SkipWithError("telit-he910.bin not found");
    double cpu = 0, wall = 0;
    long runs = 0;
    for (auto _ : state) {
        double c0 = cpu_seconds(RUSAGE_CHILDREN);
        auto w0 = std::chrono::steady_clock::now();
        if (!run_process(args, s.path)) return state.SkipWithError((name + " did not run").c_str());
        double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
        double c = cpu_seconds(RUSAGE_CHILDREN) - c0;
        state.SetIterationTime(c);
        wall += w;
        cpu += c;
        ++runs;
    }
    double mb = s.bytes.size() * static_cast<double>(runs) / 1e6;
    rates[name] = {mb / cpu, mb / wall, s.sentences * static_cast<double>(runs) / cpu};
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
    state.counters["wall_MB/s"] = mb / wall;
}

void BM_GpsdecodeProcess(benchmark::State& state) { run_process_bench(state, "gpsdecode", {"gpsdecode"}); }

void BM_KivdumpProcess(benchmark::State& state) {
    run_process_bench(state, "kivdump", {std::string(KIV_BINARY_DIR) + "/tools/kivdump/kivdump", "--device", "nmea", "-"});
}

BENCHMARK(BM_NmeaFeed)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_GpsdecodeProcess)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_KivdumpProcess)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const Stream& s = telit_stream();
    if (!s.path.empty()) std::remove(s.path.c_str());
    std::printf("\n%-10s %12s %12s %16s\n", "", "CPU MB/s", "wall MB/s", "sentences/CPU s");
    for (const auto& [name, r] : rates)
        std::printf("%-10s %12.1f %12.1f %16.0f\n", name.c_str(), r.cpuMBs, r.wallMBs, r.cpuSentences);
    auto gpsd = rates.find("gpsdecode");
    if (gpsd != rates.end() && gpsd->second.cpuMBs > 0) {
        for (const char* name : {"nmea_feed", "kivdump"})
            if (rates.count(name))
                std::printf("%s / gpsdecode: %.1fx\n", name, rates[name].cpuMBs / gpsd->second.cpuMBs);
    }
    return 0;
}
