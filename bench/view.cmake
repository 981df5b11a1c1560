find_package(GIF REQUIRED)
kiv_bench(view_bench SOURCES view_bench.cpp LIBS kiv_maps kiv_platform GIF::GIF)
