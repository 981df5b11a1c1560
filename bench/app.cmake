find_package(GIF REQUIRED)
kiv_bench(app_bench SOURCES app_bench.cpp LIBS kiv_app GIF::GIF)
# Routes along roads: the drawn line's cost at 1920 x 1080.
kiv_bench(road_route_bench SOURCES road_route_bench.cpp LIBS kiv_app)
