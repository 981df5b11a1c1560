// NMEA decoder throughput: nmea_feed on real captures repeated to about
// 4 MB and fed in the reader's 80-byte reads, beside two whole processes on
// the same bytes from a file on stdin: gpsd's gpsdecode and kivdump. The
// captures: the largest multi-GNSS one (skytraq-dgps, GPS and BeiDou), the
// one with the most systems (ublox-zed-f9p-nmea: GN, GP, GL, GA, GB talkers
// with signal ids) and the largest GPS-only one (telit-he910). Each copy of
// a capture is moved on by one day (RMC and ZDA dates rewritten, checksums
// redone), so every copy is newer than the last, as a receiver's stream
// would be. Rates are per CPU second (the
// child's CPU time for the processes), so a busy machine does not skew the
// ratio; wall-clock rates are shown beside.
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

// Field n of a sentence body starts at the returned offset; npos without it.
size_t field_at(const std::string& body, int n) {
    size_t at = 0;
    for (int k = 0; k < n; ++k) {
        at = body.find(',', at);
        if (at == std::string::npos) return at;
        ++at;
    }
    return at;
}

// Replaces field n of a body (any length) with text.
void replace_field(std::string& body, int n, const std::string& text) {
    size_t at = field_at(body, n);
    if (at == std::string::npos) return;
    size_t end = body.find(',', at);
    body.replace(at, (end == std::string::npos ? body.size() : end) - at, text);
}

// One copy of the capture with every RMC and ZDA date (of any talker) set to
// the day d; lines with a bad checksum keep it bad.
std::string copy_dated(const std::string& capture, const std::tm& d) {
    char ddmmyy[16], dd[8], mm[8], yyyy[8];
    std::snprintf(ddmmyy, sizeof ddmmyy, "%02d%02d%02d", d.tm_mday % 100, (d.tm_mon + 1) % 100, d.tm_year % 100);
    std::snprintf(dd, sizeof dd, "%02d", d.tm_mday % 100);
    std::snprintf(mm, sizeof mm, "%02d", (d.tm_mon + 1) % 100);
    std::snprintf(yyyy, sizeof yyyy, "%04d", (d.tm_year + 1900) % 10000);
    std::string out;
    std::istringstream in(capture);
    std::string line;
    while (std::getline(in, line)) {
        size_t star = line.find('*');
        bool rmc = line.size() > 7 && line.compare(3, 4, "RMC,") == 0;
        bool zda = line.size() > 7 && line.compare(3, 4, "ZDA,") == 0;
        if (line[0] == '$' && star != std::string::npos && star + 3 <= line.size() && (rmc || zda)) {
            std::string body = line.substr(1, star - 1);
            bool good = with_checksum(body) == line.substr(0, star + 3);
            if (rmc && field_at(body, 9) != std::string::npos && body.compare(field_at(body, 9), 1, ",") != 0) {
                replace_field(body, 9, ddmmyy);
            } else if (zda && field_at(body, 4) != std::string::npos) {
                replace_field(body, 2, dd);
                replace_field(body, 3, mm);
                replace_field(body, 4, yyyy);
            }
            std::string cr = line.back() == '\r' ? "\r" : "";
            line = good ? with_checksum(body) + cr : "$" + body + line.substr(star, 3) + cr;
        }
        out += line + "\n";
    }
    return out;
}

const Stream& stream_of(const std::string& capture) {
    static std::map<std::string, Stream> streams;
    auto found = streams.find(capture);
    if (found != streams.end()) return found->second;
    Stream& s = streams[capture];
    std::ifstream in(std::string(KIV_TESTDATA_DIR) + "/receivers/" + capture + ".bin", std::ios::binary);
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
        s.bytes += copy_dated(one, d);
        day.tm_mday += 1;
    }
    for (char c : s.bytes) s.sentences += c == '$';
    s.path = "/tmp/kiv_nmea_bench_" + std::to_string(getpid()) + "_" + capture + ".bin";
    std::ofstream(s.path, std::ios::binary) << s.bytes;
    return s;
}

struct Rate {
    double cpuMBs = 0, wallMBs = 0, cpuSentences = 0;
};
std::map<std::string, std::map<std::string, Rate>> rates;  // capture, then decoder

double cpu_seconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void nmea_feed_bench(benchmark::State& state, const std::string& capture) {
    const Stream& s = stream_of(capture);
    if (s.bytes.empty()) return state.SkipWithError((capture + ".bin not found").c_str());
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
    rates[capture]["nmea_feed"] = {mb / cpu, mb / wall, s.sentences * static_cast<double>(runs) / cpu};
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

void process_bench(benchmark::State& state, const std::string& capture, const std::string& name,
                   const std::vector<std::string>& args) {
    const Stream& s = stream_of(capture);
    if (s.bytes.empty()) return state.SkipWithError((capture + ".bin not found").c_str());
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
    rates[capture][name] = {mb / cpu, mb / wall, s.sentences * static_cast<double>(runs) / cpu};
    state.SetBytesProcessed(static_cast<int64_t>(s.bytes.size()) * state.iterations());
    state.counters["wall_MB/s"] = mb / wall;
}

const char* const captures[] = {"skytraq-dgps", "ublox-zed-f9p-nmea", "telit-he910"};

void register_benchmarks() {
    const std::string kivdump = std::string(KIV_BINARY_DIR) + "/tools/kivdump/kivdump";
    for (std::string c : captures) {
        benchmark::RegisterBenchmark(("nmea_feed/" + c).c_str(), nmea_feed_bench, c)
            ->Unit(benchmark::kMillisecond)->MinTime(1.0);
        benchmark::RegisterBenchmark(("gpsdecode/" + c).c_str(), process_bench, c, "gpsdecode",
                                     std::vector<std::string>{"gpsdecode"})
            ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
        benchmark::RegisterBenchmark(("kivdump/" + c).c_str(), process_bench, c, "kivdump",
                                     std::vector<std::string>{kivdump, "--device", "nmea", "-"})
            ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    register_benchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* c : captures) {
        auto r = rates.find(c);
        if (r == rates.end()) continue;
        std::remove(stream_of(c).path.c_str());
        std::printf("\n%s (%.1f MB, %ld sentences)\n%-10s %12s %12s %16s\n", c, stream_of(c).bytes.size() / 1e6,
                    stream_of(c).sentences, "", "CPU MB/s", "wall MB/s", "sentences/CPU s");
        for (const auto& [name, rate] : r->second)
            std::printf("%-10s %12.1f %12.1f %16.0f\n", name.c_str(), rate.cpuMBs, rate.wallMBs, rate.cpuSentences);
        auto gpsd = r->second.find("gpsdecode");
        if (gpsd == r->second.end() || gpsd->second.cpuMBs <= 0) continue;
        for (const char* name : {"nmea_feed", "kivdump"})
            if (r->second.count(name))
                std::printf("%s / gpsdecode: %.1fx\n", name, r->second[name].cpuMBs / gpsd->second.cpuMBs);
    }
    return 0;
}
