find_package(GIF REQUIRED)
kiv_bench(tiles_bench SOURCES tiles_bench.cpp LIBS kiv_maps kiv_platform GIF::GIF)
