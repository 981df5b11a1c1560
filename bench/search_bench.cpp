// Find over a million names: each keystroke of typing a few names (and a
// few texts that match nothing or look like query syntax) asked of the
// local map server through the window's own request (place_search_fetch),
// near a point inside the names' area. Targets: median <= 20 ms, worst
// <= 50 ms. The names are made (bench/search_names.py) and the server
// started before the clock runs; the first request, which opens the index,
// is not counted.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "nav/place_search.h"

namespace {

namespace fs = std::filesystem;

std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

struct Server {
    fs::path dir;
    std::string env, script = std::string(KIV_SOURCE_DIR) + "/mapserver/kiv-mapserver.sh", root;
    Server() {
        char pattern[] = "/tmp/kiv_search_benchXXXXXX";
        dir = mkdtemp(pattern);
        env = "KIV_MAPIMPORTS=" + (dir / "imports").string() + " ";
        const char* count = getenv("KIV_SEARCH_NAMES");
        run("python3 " + std::string(KIV_SOURCE_DIR) + "/bench/search_names.py " + (dir / "imports").string() + " " +
            (count ? count : "1000000"));
        std::string out = run(env + script + " start " + (dir / "run").string() + " 2>/dev/null");
        while (!out.empty() && out.back() == '\n') out.pop_back();
        root = out.substr(out.find_last_of('\n') + 1);
    }
    ~Server() {
        run(env + script + " stop " + (dir / "run").string());
        fs::remove_all(dir);
    }
};

std::vector<std::string> typedTexts() {
    std::vector<std::string> texts;
    for (std::string name : {"Goethestraße", "Bergtonweg", "Montréal Lake", "Lac Saint-Jean", "Kirchenfeld Street",
                             "Rivière Mont", "Haustein", "Oakville"}) {
        // Each keystroke, a character (not a byte) at a time.
        for (size_t i = 1; i <= name.size(); i++)
            if (i == name.size() || (static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) texts.push_back(name.substr(0, i));
    }
    for (const char* odd : {"zzzz", "\"*", "NEAR(a b)", "-", "street", "lac"}) texts.push_back(odd);
    return texts;
}

void BM_SearchAsTyped(benchmark::State& state) {
    static Server server;
    if (server.root.rfind("http://", 0) != 0) {
        state.SkipWithError("the map server did not start");
        return;
    }
    PlaceSearchRequest request;
    request.serverRoot = server.root;
    request.hasNear = true, request.nearLat = 50.1, request.nearLon = 9.9;
    request.limit = 30;
    std::string scratch = (server.dir / "reply").string(), reason;
    std::vector<PlaceMatch> found;
    std::vector<std::string> notes;
    request.text = "warm";
    place_search_fetch(request, scratch, nullptr, &found, &notes, &reason);
    std::vector<std::string> texts = typedTexts();
    std::vector<double> ms;
    size_t next = 0;
    for (auto _ : state) {
        request.text = texts[next++ % texts.size()];
        found.clear();
        auto t0 = std::chrono::steady_clock::now();
        int ok = place_search_fetch(request, scratch, nullptr, &found, &notes, &reason);
        double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (!ok) state.SkipWithError(reason.c_str());
        ms.push_back(took);
        state.SetIterationTime(took / 1000);
    }
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    state.counters["queries"] = static_cast<double>(ms.size());
}
BENCHMARK(BM_SearchAsTyped)->UseManualTime()->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
