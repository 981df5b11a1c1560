// The road route's line over a 1920 x 1080 pane: what it adds to a paint.
// A 20 km route of a city (a point every 40 m, turning every 400 m) whose
// middle crosses the pane, at the finest level and at a coarse one.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "app/app_state.h"
#include "app/road_route_marks.h"
#include "maps/map_view.h"
#include "maps/view_plane.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

RoadRoute cityRoute() {
    RoadRoute route;
    double lat = 45.38, lon = -75.78;
    for (int i = 0; i <= 500; i++) {
        // A staircase: 400 m east, 400 m north, again.
        bool east = (i / 10) % 2 == 0;
        if (i) east ? lon += 40 / (111320 * std::cos(lat * M_PI / 180)) : lat += 40 / 111132.0;
        route.points.push_back(RoadPoint{lat, lon, 40.0 * i, 4.0 * i, i % 10 ? 0 : 90, east ? 90 : 0, "", ""});
    }
    route.metres = 20000, route.seconds = 2000;
    return route;
}

void RoadRouteLine1920(benchmark::State& state) {
    RoadRoute route = cityRoute();
    std::vector<uint32_t> px(static_cast<size_t>(kWidth) * kHeight, 0xFFE0E0E0u);
    ClientFrame frame{px.data(), kWidth, kHeight, kWidth, false, nullptr, nullptr};
    MapView& v = map_view;
    double cx, cy;
    const RoadPoint& middle = route.points[route.points.size() / 2];
    view_plane_from_degrees(VIEW_PLANE_WEB_MERCATOR, middle.lat, middle.lon, &cx, &cy);
    const double mpp = state.range(0) ? 2.5 : 20;       // metres a pixel: finest, coarse
    v.extPlane = VIEW_PLANE_WEB_MERCATOR;
    v.imageWidth = kWidth, v.imageHeight = kHeight;
    v.extMinX = cx - mpp * kWidth / 2, v.extMaxX = cx + mpp * kWidth / 2;
    v.extMinY = cy - mpp * kHeight / 2, v.extMaxY = cy + mpp * kHeight / 2;
    int drawn = 0;
    for (auto _ : state) {
        drawn = road_route_marks_draw(&frame, route, 0, 0, 0, 0, kWidth, kHeight);
        benchmark::DoNotOptimize(px.data());
    }
    state.counters["drawn"] = drawn;
}

}  // namespace

BENCHMARK(RoadRouteLine1920)->Arg(0)->Arg(1)->ArgName("finest")->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
