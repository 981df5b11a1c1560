find_package(GIF REQUIRED)
kiv_bench(sheets_bench SOURCES sheets_bench.cpp LIBS kiv_maps kiv_platform GIF::GIF)
