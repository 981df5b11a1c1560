// gif_decode against giflib's DGifSlurp on synthetic map sheets of the two
// pane sizes (480 x 360 and 720 x 540), encoded by giflib's own encoder.
//
// Each decoder reads the same bytes two ways:
//   memory: gif_decode over fmemopen(); giflib through DGifOpen with a read
//           callback over the buffer;
//   file:   both open the same temporary file each iteration (fopen for
//           gif_decode, DGifOpenFileName for giflib), so open and read calls count.
// giflib's DGifSlurp stops at colour indexes, as gif_decode_indices (the
// path the view's cache takes) does; "giflib_rgb" adds the table look-up to
// reach the same packed RGB that gif_decode delivers.
// After the Google Benchmark table a summary prints the time ratios
// gif_decode / DGifSlurp (best of several rounds).
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <ctime>
#include <vector>

#include "maps/gif_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sheet {
    int width, height;
    Bytes gif;
    std::string path;
};

// ------------------------------------------------ a synthetic topographic sheet

float lattice_noise(const std::vector<float>& grid, int n, float x, float y) {
    int x0 = int(x), y0 = int(y);
    float fx = x - x0, fy = y - y0;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    auto at = [&](int i, int j) { return grid[size_t(j % n) * n + size_t(i % n)]; };
    float a = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx;
    float b = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx;
    return a + (b - a) * fy;
}

// Hypsometric tints (32 bands x 6 hill-shade steps), water, contours, roads,
// grid lines and lettering: smooth areas broken by thin lines and small glyphs.
std::vector<uint8_t> map_picture(int width, int height, uint32_t seed, std::vector<GifColorType>* pal) {
    std::mt19937 rng(seed);
    const int n = 64;
    std::vector<float> grid(n * n);
    for (auto& g : grid) g = std::uniform_real_distribution<float>(0, 1)(rng);
    std::vector<float> elev(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float e = 0, amp = 1, freq = 1.0f / 90;
            for (int o = 0; o < 4; ++o, amp *= 0.5f, freq *= 2)
                e += amp * lattice_noise(grid, n, x * freq + o * 7.3f, y * freq + o * 3.1f);
            elev[size_t(y) * width + x] = e * 1000;
        }

    pal->assign(256, GifColorType{0, 0, 0});
    for (int band = 0; band < 32; ++band)
        for (int shade = 0; shade < 6; ++shade) {
            float t = band / 31.0f, s = 0.75f + shade * 0.06f;
            (*pal)[band * 6 + shade] = {uint8_t(std::min(255.f, (120 + 120 * t) * s)),
                                        uint8_t(std::min(255.f, (200 - 60 * t) * s)),
                                        uint8_t(std::min(255.f, (110 + 40 * t) * s))};
        }
    enum { kWater = 192, kContour, kIndex, kRoad, kText, kGrid, kRiver };
    (*pal)[kWater] = {150, 200, 240};
    (*pal)[kContour] = {170, 110, 60};
    (*pal)[kIndex] = {130, 80, 40};
    (*pal)[kRoad] = {220, 40, 30};
    (*pal)[kText] = {20, 20, 20};
    (*pal)[kGrid] = {60, 60, 160};
    (*pal)[kRiver] = {40, 110, 220};

    std::vector<uint8_t> px(size_t(width) * height);
    auto E = [&](int x, int y) { return elev[size_t(std::clamp(y, 0, height - 1)) * width + std::clamp(x, 0, width - 1)]; };
    const float lo = *std::min_element(elev.begin(), elev.end());
    const float hi = *std::max_element(elev.begin(), elev.end());
    const float water = lo + (hi - lo) * 0.18f;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float e = E(x, y);
            uint8_t v;
            if (e < water) {
                v = kWater;
            } else {
                int band = std::clamp(int((e - lo) / (hi - lo) * 32), 0, 31);
                float slope = (E(x + 1, y) - E(x - 1, y)) + (E(x, y + 1) - E(x, y - 1));
                int shade = std::clamp(int(3 + slope * 0.6f), 0, 5);
                v = uint8_t(band * 6 + shade);
                int c0 = int(e / 20), c1 = int(E(x + 1, y) / 20), c2 = int(E(x, y + 1) / 20);
                if (c0 != c1 || c0 != c2) v = (std::max({c0, c1, c2}) % 5 == 0) ? kIndex : kContour;
            }
            if ((x % 160 == 0) || (y % 160 == 0)) v = kGrid;
            px[size_t(y) * width + x] = v;
        }
    auto plot = [&](int x, int y, uint8_t v) {
        if (x >= 0 && y >= 0 && x < width && y < height) px[size_t(y) * width + x] = v;
    };
    // Rivers and roads: random walks and polylines.
    for (int r = 0; r < 3; ++r) {
        float x = float(rng() % width), y = 0, dir = 1.57f;
        while (y < height && x >= 0 && x < width) {
            plot(int(x), int(y), kRiver);
            plot(int(x) + 1, int(y), kRiver);
            dir += std::uniform_real_distribution<float>(-0.3f, 0.3f)(rng);
            dir = std::clamp(dir, 0.6f, 2.5f);
            x += std::cos(dir);
            y += std::sin(dir);
        }
    }
    for (int r = 0; r < 4; ++r) {
        int x0 = rng() % width, y0 = rng() % height, x1 = rng() % width, y1 = rng() % height;
        int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0)) + 1;
        for (int i = 0; i <= steps; ++i) {
            int x = x0 + (x1 - x0) * i / steps, y = y0 + (y1 - y0) * i / steps;
            plot(x, y, kRoad);
            plot(x, y + 1, kRoad);
        }
    }
    // Place names: words of 5 x 7 glyphs.
    std::vector<uint64_t> glyphs(26);
    for (auto& g : glyphs) g = (uint64_t(rng()) << 32 | rng()) & ((1ull << 35) - 1);
    for (int w = 0; w < width * height / 9000; ++w) {
        int x = rng() % width, y = rng() % height, letters = 3 + rng() % 8;
        for (int l = 0; l < letters; ++l, x += 6)
            for (int gy = 0; gy < 7; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if (glyphs[(w * 7 + l) % 26] >> (gy * 5 + gx) & 1) plot(x + gx, y + gy, kText);
    }
    return px;
}

int write_bytes(GifFileType* g, const GifByteType* data, int n) {
    auto* out = static_cast<Bytes*>(g->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

Bytes giflib_encode(int width, int height, const std::vector<uint8_t>& px,
                    std::vector<GifColorType>& pal) {
    Bytes out;
    int err = 0;
    GifFileType* g = EGifOpen(&out, write_bytes, &err);
    ColorMapObject* map = GifMakeMapObject(256, pal.data());
    EGifSetGifVersion(g, true);
    EGifPutScreenDesc(g, width, height, 8, 0, map);
    EGifPutComment(g, "200000,1558232.500000,-196711.625000,1529432.500000,-218311.625000,"
                      "1587032.500000,-175111.625000,-3.250000");
    EGifPutImageDesc(g, 0, 0, width, height, false, nullptr);
    for (int y = 0; y < height; ++y)
        EGifPutLine(g, const_cast<uint8_t*>(px.data()) + size_t(y) * width, width);
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return out;
}

Sheet& sheet(int which) {
    static Sheet sheets[2];
    Sheet& s = sheets[which];
    if (s.gif.empty()) {
        s.width = which ? 720 : 480;
        s.height = which ? 540 : 360;
        std::vector<GifColorType> pal;
        std::vector<uint8_t> px = map_picture(s.width, s.height, 7 + which, &pal);
        s.gif = giflib_encode(s.width, s.height, px, pal);
        s.path = std::string(KIV_BINARY_DIR) + "/gif_bench_" + std::to_string(s.width) + ".gif";
        FILE* f = std::fopen(s.path.c_str(), "wb");
        std::fwrite(s.gif.data(), 1, s.gif.size(), f);
        std::fclose(f);
    }
    return s;
}

// ------------------------------------------------ the decoders

unsigned char* kiv_memory(const Sheet& s) {
    FILE* f = fmemopen(const_cast<uint8_t*>(s.gif.data()), s.gif.size(), "rb");
    unsigned char* px = nullptr;
    int w, h;
    gif_decode(f, &px, &w, &h);
    std::fclose(f);
    return px;
}

unsigned char* kiv_file(const Sheet& s) {
    FILE* f = std::fopen(s.path.c_str(), "rb");
    unsigned char* px = nullptr;
    int w, h;
    gif_decode(f, &px, &w, &h);
    std::fclose(f);
    return px;
}

// The cache's path: a byte a pixel and the colour table.
unsigned char* kiv_indices(FILE* f) {
    unsigned char* idx = nullptr;
    uint32_t colours[256];
    int w, h;
    gif_decode_indices(f, &idx, colours, &w, &h);
    std::fclose(f);
    return idx;
}
unsigned char* kiv_indices_memory(const Sheet& s) {
    return kiv_indices(fmemopen(const_cast<uint8_t*>(s.gif.data()), s.gif.size(), "rb"));
}
unsigned char* kiv_indices_file(const Sheet& s) { return kiv_indices(std::fopen(s.path.c_str(), "rb")); }

struct MemSource {
    const Bytes* bytes;
    size_t pos;
};

int read_bytes(GifFileType* g, GifByteType* dest, int n) {
    auto* src = static_cast<MemSource*>(g->UserData);
    size_t take = std::min(src->bytes->size() - src->pos, size_t(n));
    std::memcpy(dest, src->bytes->data() + src->pos, take);
    src->pos += take;
    return int(take);
}

GifFileType* giflib_memory(const Sheet& s, MemSource* src) {
    *src = {&s.gif, 0};
    int err;
    GifFileType* g = DGifOpen(src, read_bytes, &err);
    DGifSlurp(g);
    return g;
}

GifFileType* giflib_file(const Sheet& s) {
    int err;
    GifFileType* g = DGifOpenFileName(s.path.c_str(), &err);
    DGifSlurp(g);
    return g;
}

unsigned char* to_rgb(GifFileType* g) {
    const SavedImage& im = g->SavedImages[0];
    const ColorMapObject* map = im.ImageDesc.ColorMap ? im.ImageDesc.ColorMap : g->SColorMap;
    size_t n = size_t(im.ImageDesc.Width) * im.ImageDesc.Height;
    auto* rgb = static_cast<unsigned char*>(std::malloc(n * 3));
    for (size_t i = 0; i < n; ++i) {
        const GifColorType& c = map->Colors[im.RasterBits[i]];
        rgb[3 * i] = c.Red;
        rgb[3 * i + 1] = c.Green;
        rgb[3 * i + 2] = c.Blue;
    }
    return rgb;
}

void set_labels(benchmark::State& state, const Sheet& s) {
    state.SetLabel(std::to_string(s.width) + "x" + std::to_string(s.height) + ", " +
                   std::to_string(s.gif.size()) + " bytes");
    state.SetItemsProcessed(state.iterations() * int64_t(s.width) * s.height);
}

void BM_gif_decode_memory(benchmark::State& state) {
    const Sheet& s = sheet(int(state.range(0)));
    for (auto _ : state) std::free(kiv_memory(s));
    set_labels(state, s);
}

void BM_gif_decode_file(benchmark::State& state) {
    const Sheet& s = sheet(int(state.range(0)));
    for (auto _ : state) std::free(kiv_file(s));
    set_labels(state, s);
}

void BM_gif_indices_memory(benchmark::State& state) {
    const Sheet& s = sheet(int(state.range(0)));
    for (auto _ : state) std::free(kiv_indices_memory(s));
    set_labels(state, s);
}

void BM_gif_indices_file(benchmark::State& state) {
    const Sheet& s = sheet(int(state.range(0)));
    for (auto _ : state) std::free(kiv_indices_file(s));
    set_labels(state, s);
}

void BM_giflib_slurp_memory(benchmark::State& state) {
    const Sheet& s = sheet(int(state.range(0)));
    for (auto _ : state) {
        MemSource src;
        int err;
        DGifCloseFile(giflib_memory(s, &src), &err);
    }
    set_labels(state, s);
}

void BM_giflib_slurp_file(benchmark::State& state) {
    const Sheet& s = sheet(int(state.range(0)));
    for (auto _ : state) {
        int err;
        DGifCloseFile(giflib_file(s), &err);
    }
    set_labels(state, s);
}

void BM_giflib_rgb_memory(benchmark::State& state) {
    const Sheet& s = sheet(int(state.range(0)));
    for (auto _ : state) {
        MemSource src;
        int err;
        GifFileType* g = giflib_memory(s, &src);
        std::free(to_rgb(g));
        DGifCloseFile(g, &err);
    }
    set_labels(state, s);
}

BENCHMARK(BM_gif_decode_memory)->Arg(0)->Arg(1);
BENCHMARK(BM_gif_indices_memory)->Arg(0)->Arg(1);
BENCHMARK(BM_gif_indices_file)->Arg(0)->Arg(1);
BENCHMARK(BM_giflib_slurp_memory)->Arg(0)->Arg(1);
BENCHMARK(BM_giflib_rgb_memory)->Arg(0)->Arg(1);
BENCHMARK(BM_gif_decode_file)->Arg(0)->Arg(1);
BENCHMARK(BM_giflib_slurp_file)->Arg(0)->Arg(1);

double thread_cpu_us() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// CPU time (user + system, so file reads count) per call of f, in microseconds.
template <typename F>
double cpu_us(F f) {
    const int reps = 20;
    double t0 = thread_cpu_us();
    for (int i = 0; i < reps; ++i) f();
    return (thread_cpu_us() - t0) / reps;
}

void print_summary() {
    std::printf("\nSummary (CPU time per decode, best of 15 interleaved rounds of 20; ratio = ours / DGifSlurp; the indices the cache takes, target <= 0.20)\n");
    for (int which = 0; which < 2; ++which) {
        const Sheet& s = sheet(which);
        // Both decoders must agree before their times mean anything.
        MemSource src;
        int err;
        GifFileType* g = giflib_memory(s, &src);
        unsigned char* want = to_rgb(g);
        DGifCloseFile(g, &err);
        unsigned char* got = kiv_memory(s);
        bool same = got && std::memcmp(got, want, size_t(s.width) * s.height * 3) == 0;
        std::free(got);
        std::free(want);

        // Rounds interleave the four cases so load from elsewhere hits them alike;
        // each keeps its best round.
        double kivMem = 1e30, libMem = 1e30, kivFile = 1e30, libFile = 1e30, idxMem = 1e30, idxFile = 1e30;
        for (int round = 0; round < 15; ++round) {
            idxMem = std::min(idxMem, cpu_us([&] { std::free(kiv_indices_memory(s)); }));
            idxFile = std::min(idxFile, cpu_us([&] { std::free(kiv_indices_file(s)); }));
            kivMem = std::min(kivMem, cpu_us([&] { std::free(kiv_memory(s)); }));
            libMem = std::min(libMem, cpu_us([&] {
                MemSource m;
                int e;
                DGifCloseFile(giflib_memory(s, &m), &e);
            }));
            kivFile = std::min(kivFile, cpu_us([&] { std::free(kiv_file(s)); }));
            libFile = std::min(libFile, cpu_us([&] {
                int e;
                DGifCloseFile(giflib_file(s), &e);
            }));
        }
        std::printf("%dx%d (%zu bytes)%s\n", s.width, s.height, s.gif.size(),
                    same ? "" : "  OUTPUTS DIFFER");
        std::printf("  memory: gif_decode %8.1f us  DGifSlurp %8.1f us  ratio %.2f\n", kivMem, libMem,
                    kivMem / libMem);
        std::printf("  file:   gif_decode %8.1f us  DGifSlurp %8.1f us  ratio %.2f\n", kivFile, libFile,
                    kivFile / libFile);
        std::printf("  indices, memory: gif_decode_indices %8.1f us  ratio %.2f\n", idxMem, idxMem / libMem);
        std::printf("  indices, file:   gif_decode_indices %8.1f us  ratio %.2f\n", idxFile, idxFile / libFile);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_summary();
    return 0;
}
