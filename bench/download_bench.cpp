// Obtaining one missing sheet from the local map server: the request, the
// reply page, the image and the store (sheet_download_topo), beside curl
// fetching the same two URLs as separate processes, in the same run.
// The same through the server's WMS: sheet_download_topo with Wms= set beside
// curl fetching the one GetMap URL. Each repetition is one download; the
// median of 20 is the figure.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "maps/map_view.h"
#include "maps/sheet_download.h"
#include "maps/sheet_download_parts.h"
#include "maps/sheet_store.h"
#include "maps/view_plane.h"
#include "maps/wms_request.h"
#include "maps/zoom_levels.h"
#include "settings/app_settings.h"
#include "settings/settings_load.h"

extern char** environ;

namespace {

std::string server_root;
std::string work_dir;

int runCurl(const std::string& url, const std::string& out) {
    const char* argv[] = {"curl", "-s", "-f", "-o", out.c_str(), url.c_str(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return 0;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Ottawa's sheet at the level and size of the arguments.
struct Sheet {
    double lat, lon;
    int level, big;
    std::string url, wms;
};

void setWms(WmsSource* w) {
    snprintf(w->url, sizeof w->url, "%s/cgi-bin/mapserv", server_root.c_str());
    snprintf(w->layers, sizeof w->layers, "topographic");
}

Sheet sheetOf(const benchmark::State& state) {
    Sheet s;
    s.level = static_cast<int>(state.range(0));
    s.big = static_cast<int>(state.range(1));
    s.lat = zoom_level_snap_latitude(45.4215, s.level, 0);
    s.lon = zoom_level_snap_longitude(-75.6972, s.level, s.big);
    double x, y, angle;
    sheet_download_centre_and_angle(s.lat, s.lon, &x, &y, &angle);
    char url[SHEET_URL_MAX];
    sheet_download_topo_url(url, sizeof url, server_root.c_str(), x, y, zoom_level_scale(s.level), s.big, 1, 0, angle);
    s.url = url;
    WmsSource w = {};
    setWms(&w);
    int width = view_sheet_width(s.big), height = view_sheet_height(s.big);
    WmsBox box = wms_sheet_box(x, y, zoom_level_scale(s.level), width, height);
    wms_get_map_url(url, sizeof url, &w, &box, width, height);
    s.wms = url;
    return s;
}

void download(benchmark::State& state, bool wms) {
    Sheet s = sheetOf(state);
    auto settings = std::make_unique<AppSettings>();
    settings_defaults(settings.get());
    snprintf(settings->mapsDir, sizeof settings->mapsDir, "%s/%s", work_dir.c_str(), wms ? "MapsWms" : "Maps");
    snprintf(settings->serverUrl, sizeof settings->serverUrl, "%s", server_root.c_str());
    if (wms) setWms(&settings->wms);
    char path[SHEET_PATH_MAX];
    sheet_path(path, sizeof path, settings->mapsDir, s.lat, s.lon, s.level, s.big, wms ? SHEET_PNG : SHEET_GIF);
    for (auto _ : state) {
        state.PauseTiming();
        remove(path);   // missing again
        state.ResumeTiming();
        if (!sheet_download_topo(s.lat, s.lon, s.level, settings.get(), path, s.big, 1, 0).ok) {
            state.SkipWithError("download failed");
            return;
        }
    }
}

void DownloadSheet(benchmark::State& state) { download(state, false); }
void DownloadWmsSheet(benchmark::State& state) { download(state, true); }

void CurlGetMap(benchmark::State& state) {
    Sheet s = sheetOf(state);
    std::string image = work_dir + "/curl_image.png";
    for (auto _ : state)
        if (!runCurl(s.wms, image)) {
            state.SkipWithError("curl failed");
            return;
        }
}

void CurlTwoUrls(benchmark::State& state) {
    Sheet s = sheetOf(state);
    std::string reply = work_dir + "/curl_reply.htm", image = work_dir + "/curl_image.gif";
    for (auto _ : state) {
        SheetReply r;
        char imageUrl[SHEET_URL_MAX];
        if (!runCurl(s.url, reply) || !sheet_download_parse_reply(reply.c_str(), &r) ||
            !sheet_download_image_url(imageUrl, sizeof imageUrl, server_root.c_str(), r.imageName) ||
            !runCurl(imageUrl, image)) {
            state.SkipWithError("curl failed");
            return;
        }
    }
}

// Each size: ours, then curl, so that both meet the same load.
void registerSideBySide() {
    const int sizes[][2] = {{2, 0}, {2, 1}, {4, 0}};
    const struct {
        const char* name;
        void (*run)(benchmark::State&);
    } pairs[] = {{"DownloadSheet", DownloadSheet}, {"CurlTwoUrls", CurlTwoUrls},
                 {"DownloadWmsSheet", DownloadWmsSheet}, {"CurlGetMap", CurlGetMap}};
    for (const auto& s : sizes)
        for (const auto& p : pairs) {
            auto* b = benchmark::RegisterBenchmark(p.name, p.run);
            b->Args({s[0], s[1]})->Iterations(1)->Repetitions(20)->UseRealTime();
            b->Unit(benchmark::kMillisecond)->ReportAggregatesOnly(true);
        }
}

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
    registerSideBySide();
    char pattern[] = "/tmp/kiv_dl_bench_XXXXXX";
    work_dir = mkdtemp(pattern);
    std::filesystem::current_path(work_dir);   // the download's temporary files
    std::string script = std::string(KIV_SOURCE_DIR) + "/mapserver/kiv-mapserver.sh";
    std::string run = work_dir + "/server";
    server_root = runLine("timeout 800 " + script + " start " + run);
    if (server_root.rfind("http://", 0) != 0) {
        fprintf(stderr, "download_bench: the local map server did not start\n");
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
