// Projection speed: ll2lcc / lcc2ll against PROJ's proj_trans and
// proj_trans_generic over the same service-area points, in one run.
#include "maps/lcc.h"

#include <benchmark/benchmark.h>
#include <proj.h>

#include <cstdio>
#include <vector>

namespace {

struct Points {
  std::vector<double> lat, lon, x, y;
};

// Every 0.25 degree over 40-75 N, 150-45 W, with their map metres.
const Points& servicePoints() {
  static const Points pts = [] {
    Points p;
    for (int i = 0; i <= 140; i++)
      for (int j = 0; j <= 420; j++) {
        double lat = 40.0 + 0.25 * i, lon = -150.0 + 0.25 * j, x, y;
        ll2lcc(&x, &y, lat, lon);
        p.lat.push_back(lat);
        p.lon.push_back(lon);
        p.x.push_back(x);
        p.y.push_back(y);
      }
    return p;
  }();
  return pts;
}

struct ProjHandle {
  PJ_CONTEXT* ctx = nullptr;
  PJ* pj = nullptr;
};

// EPSG:4326 -> EPSG:3978 as a user of PROJ would set it up (lon, lat order).
ProjHandle& epsgTransform() {
  static ProjHandle h = [] {
    ProjHandle p;
    p.ctx = proj_context_create();
    PJ* raw = proj_create_crs_to_crs(p.ctx, "EPSG:4326", "EPSG:3978", nullptr);
    if (raw) {
      p.pj = proj_normalize_for_visualization(p.ctx, raw);
      proj_destroy(raw);
    }
    return p;
  }();
  return h;
}

void BM_ll2lcc(benchmark::State& state) {
  const Points& p = servicePoints();
  size_t n = p.lat.size();
  for (auto _ : state) {
    for (size_t i = 0; i < n; i++) {
      double x, y;
      ll2lcc(&x, &y, p.lat[i], p.lon[i]);
      benchmark::DoNotOptimize(x);
      benchmark::DoNotOptimize(y);
    }
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_lcc2ll(benchmark::State& state) {
  const Points& p = servicePoints();
  size_t n = p.x.size();
  for (auto _ : state) {
    for (size_t i = 0; i < n; i++) {
      double lat, lon;
      lcc2ll(&lat, &lon, p.x[i], p.y[i]);
      benchmark::DoNotOptimize(lat);
      benchmark::DoNotOptimize(lon);
    }
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void projTrans(benchmark::State& state, PJ_DIRECTION dir) {
  PJ* pj = epsgTransform().pj;
  if (!pj) {
    state.SkipWithError("PROJ cannot create EPSG:4326 -> EPSG:3978");
    return;
  }
  const Points& p = servicePoints();
  size_t n = p.lat.size();
  for (auto _ : state) {
    for (size_t i = 0; i < n; i++) {
      PJ_COORD c = dir == PJ_FWD ? proj_coord(p.lon[i], p.lat[i], 0, 0) : proj_coord(p.x[i], p.y[i], 0, 0);
      PJ_COORD out = proj_trans(pj, dir, c);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_proj_trans_fwd(benchmark::State& state) { projTrans(state, PJ_FWD); }
void BM_proj_trans_inv(benchmark::State& state) { projTrans(state, PJ_INV); }

void projTransGeneric(benchmark::State& state, PJ_DIRECTION dir) {
  PJ* pj = epsgTransform().pj;
  if (!pj) {
    state.SkipWithError("PROJ cannot create EPSG:4326 -> EPSG:3978");
    return;
  }
  const Points& p = servicePoints();
  size_t n = p.lat.size();
  std::vector<double> a, b;
  for (auto _ : state) {
    state.PauseTiming();
    a = dir == PJ_FWD ? p.lon : p.x;
    b = dir == PJ_FWD ? p.lat : p.y;
    state.ResumeTiming();
    proj_trans_generic(pj, dir, a.data(), sizeof(double), n, b.data(), sizeof(double), n,
                       nullptr, 0, 0, nullptr, 0, 0);
    benchmark::DoNotOptimize(a.data());
    benchmark::DoNotOptimize(b.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void BM_proj_trans_generic_fwd(benchmark::State& state) { projTransGeneric(state, PJ_FWD); }
void BM_proj_trans_generic_inv(benchmark::State& state) { projTransGeneric(state, PJ_INV); }

BENCHMARK(BM_ll2lcc);
BENCHMARK(BM_proj_trans_fwd);
BENCHMARK(BM_proj_trans_generic_fwd);
BENCHMARK(BM_lcc2ll);
BENCHMARK(BM_proj_trans_inv);
BENCHMARK(BM_proj_trans_generic_inv);

}  // namespace

BENCHMARK_MAIN();
