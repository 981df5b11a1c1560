// Decode speed of aerial sheets: jpeg_read_rgb beside libjpeg's own plain
// decode of the same files, at both pane sizes, in one run. On a busy machine
// compare CPU times with --benchmark_enable_random_interleaving=true
// --benchmark_repetitions=15.
#include "maps/jpeg_sheet.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

namespace fs = std::filesystem;

void put(std::vector<unsigned char>& px, int w, int h, int x, int y, int r, int g, int b) {
  if (x < 0 || y < 0 || x >= w || y >= h) return;
  unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 3];
  p[0] = static_cast<unsigned char>(r), p[1] = static_cast<unsigned char>(g), p[2] = static_cast<unsigned char>(b);
}

// Something like a topographic sheet: smooth elevation tints, water, contour
// lines, roads, a grid and clusters of text-like strokes.
std::vector<unsigned char> mapLikePicture(int w, int h) {
  std::vector<double> elev(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      double u = x * 480.0 / w, v = y * 480.0 / w;
      elev[y * w + x] = 0.5 + 0.22 * std::sin(u / 57.0) * std::cos(v / 43.0) +
                        0.15 * std::sin((u + 2 * v) / 91.0) + 0.08 * std::cos((3 * u - v) / 37.0) +
                        0.05 * std::sin(u / 13.0 + v / 17.0);
    }
  std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      double e = elev[y * w + x];
      int r, g, b;
      if (e < 0.25) {
        r = 165, g = 205, b = 240;  // water
      } else {
        double t = (e - 0.25) / 0.75;
        r = static_cast<int>(205 + 40 * t), g = static_cast<int>(232 - 30 * t), b = static_cast<int>(190 - 40 * t);
      }
      // Contours every 0.05 of elevation, index contour every fifth.
      int band = static_cast<int>(e * 20), right = x + 1 < w ? static_cast<int>(elev[y * w + x + 1] * 20) : band,
          below = y + 1 < h ? static_cast<int>(elev[(y + 1) * w + x] * 20) : band;
      if (e >= 0.25 && (band != right || band != below)) {
        bool index = std::max(band, std::max(right, below)) % 5 == 0;
        r = index ? 150 : 190, g = index ? 95 : 140, b = index ? 50 : 100;
      }
      if (x % 120 == 0 || y % 120 == 0) r = 120, g = 140, b = 200;  // grid
      put(px, w, h, x, y, r, g, b);
    }
  // Roads: thick red lines along smooth curves.
  for (int k = 0; k < 3; k++)
    for (int x = 0; x < w; x++) {
      int yc = static_cast<int>(h * (0.25 + 0.25 * k) + 30 * std::sin(x / (60.0 + 20 * k)));
      for (int d = -1; d <= 1; d++) put(px, w, h, x, yc + d, 200, 30, 30);
    }
  // Labels: strokes in 6x9 cells, from a fixed pseudo-random sequence.
  unsigned seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  int labels = w * h / 6000;
  for (int l = 0; l < labels; l++) {
    int x0 = next() % w, y0 = next() % h, chars = 4 + next() % 8;
    for (int c = 0; c < chars; c++)
      for (int s = 0; s < 3; s++) {
        int kind = next() % 4, ox = x0 + c * 7 + next() % 4, oy = y0 + next() % 5;
        for (int i = 0; i < 5; i++) {
          int dx = kind == 0 ? 0 : kind == 1 ? i : kind == 2 ? i / 2 : -i / 2;
          int dy = kind == 1 ? 0 : i;
          put(px, w, h, ox + dx, oy + dy, 20, 20, 20);
        }
      }
  }
  return px;
}

struct Sheets {
  fs::path dir;
  std::string small, big;
  ~Sheets() { fs::remove_all(dir); }
};

const Sheets& sheets() {
  static const Sheets s = [] {
    Sheets t;
    char pattern[] = "/tmp/kiv_jpeg_bench_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    t.dir = pattern;
    t.small = (t.dir / "mac_480.jpg").string();
    t.big = (t.dir / "mad_720.jpg").string();
    auto a = mapLikePicture(480, 360);
    auto b = mapLikePicture(720, 540);
    if (!jpeg_write_rgb(t.small.c_str(), a.data(), 480, 360) ||
        !jpeg_write_rgb(t.big.c_str(), b.data(), 720, 540))
      std::abort();
    std::printf("sheets: %ju and %ju bytes\n", static_cast<uintmax_t>(fs::file_size(t.small)),
                static_cast<uintmax_t>(fs::file_size(t.big)));
    return t;
  }();
  return s;
}

const char* sheetFor(const benchmark::State& state) {
  return state.range(0) == 720 ? sheets().big.c_str() : sheets().small.c_str();
}

void BM_jpeg_read_rgb(benchmark::State& state) {
  const char* path = sheetFor(state);
  for (auto _ : state) {
    unsigned char* px = nullptr;
    int w, h;
    if (!jpeg_read_rgb(path, &px, &w, &h)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(px);
    std::free(px);
  }
}

// libjpeg's plain decode: the file, one malloc'd buffer, as many rows a call
// as it gives.
void BM_libjpeg_plain(benchmark::State& state) {
  const char* path = sheetFor(state);
  for (auto _ : state) {
    std::FILE* f = std::fopen(path, "rb");
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    size_t stride = static_cast<size_t>(d.output_width) * d.output_components;
    unsigned char* px = static_cast<unsigned char*>(std::malloc(stride * d.output_height));
    std::vector<JSAMPROW> rows(d.output_height);
    for (JDIMENSION y = 0; y < d.output_height; y++) rows[y] = px + y * stride;
    while (d.output_scanline < d.output_height)
      jpeg_read_scanlines(&d, rows.data() + d.output_scanline, d.output_height - d.output_scanline);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    benchmark::DoNotOptimize(px);
    std::free(px);
  }
}

// One row a call through a row buffer, copied into the picture: the simple
// way of driving libjpeg, for comparison.
void BM_libjpeg_row_copy(benchmark::State& state) {
  const char* path = sheetFor(state);
  for (auto _ : state) {
    std::FILE* f = std::fopen(path, "rb");
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    size_t stride = static_cast<size_t>(d.output_width) * d.output_components;
    unsigned char* px = static_cast<unsigned char*>(std::malloc(stride * d.output_height));
    std::vector<unsigned char> row(stride);
    JSAMPROW r = row.data();
    while (d.output_scanline < d.output_height) {
      size_t y = d.output_scanline;
      jpeg_read_scanlines(&d, &r, 1);
      for (size_t i = 0; i < stride; i += 3) {
        px[y * stride + i] = row[i];
        px[y * stride + i + 1] = row[i + 1];
        px[y * stride + i + 2] = row[i + 2];
      }
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    benchmark::DoNotOptimize(px);
    std::free(px);
  }
}

BENCHMARK(BM_jpeg_read_rgb)->Arg(480)->Arg(720)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_libjpeg_plain)->Arg(480)->Arg(720)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_libjpeg_row_copy)->Arg(480)->Arg(720)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
