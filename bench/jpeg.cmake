find_package(JPEG REQUIRED)
kiv_bench(jpeg_bench SOURCES jpeg_bench.cpp LIBS kiv_maps JPEG::JPEG)
