// Area fetch: 200 level-4 sheets (a box of 10 x 20 grid steps) from the
// local map server into an empty store, with 1 and 4 transfers at once.
// Reported as sheets per second; each iteration starts from an empty store.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "maps/area_sheets.h"
#include "maps/area_sheets_fetch.h"
#include "maps/sheet_download.h"
#include "settings/app_settings.h"
#include "settings/settings_load.h"

namespace {

std::string work_dir, server_root;

void AreaFetch200(benchmark::State& state) {
    static AppSettings s;
    settings_defaults(&s);
    snprintf(s.serverUrl, sizeof s.serverUrl, "%s/", server_root.c_str());
    std::vector<AreaSheet> sheets;
    // 10 rows by 20 columns of 1' steps.
    area_sheets_in_box(45.30, -75.80, 45.30 + 9 / 60.0, -75.80 + 19 / 60.0, 4, 0, &sheets);
    if (sheets.size() != 200) {
        state.SkipWithError("the box is not 200 sheets");
        return;
    }
    sheet_download_install();
    int failed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string maps = work_dir + "/Maps";
        std::error_code ec;
        std::filesystem::remove_all(maps, ec);
        snprintf(s.mapsDir, sizeof s.mapsDir, "%s", maps.c_str());
        state.ResumeTiming();
        AreaFetchJob job{&s, 0, 0, 1, 1, static_cast<int>(state.range(0)), sheet_download_hooks};
        AreaFetch* f = area_fetch_start(sheets, job, nullptr, nullptr);
        AreaFetchCounts c{};
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            area_fetch_counts(f, &c);
        } while (!c.finished);
        area_fetch_end(f);
        failed += c.failed;
    }
    if (failed) state.SkipWithError("sheets failed");
    state.counters["sheets_per_s"] =
        benchmark::Counter(static_cast<double>(sheets.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(AreaFetch200)->Arg(1)->Arg(4)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

std::string runLine(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out = buf;
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    char pattern[] = "/tmp/kiv_area_bench_XXXXXX";
    work_dir = mkdtemp(pattern);
    std::filesystem::current_path(work_dir);   // the downloads' temporary files
    std::string script = std::string(KIV_SOURCE_DIR) + "/mapserver/kiv-mapserver.sh";
    std::string run = work_dir + "/server";
    server_root = runLine("timeout 800 " + script + " start " + run);
    if (server_root.rfind("http://", 0) != 0) {
        fprintf(stderr, "sheets_area_bench: the local map server did not start\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    runLine(script + " stop " + run);
    std::filesystem::current_path("/");
    std::error_code ec;
    std::filesystem::remove_all(work_dir, ec);
    return 0;
}
