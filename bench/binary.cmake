kiv_bench(binary_bench SOURCES binary_bench.cpp LIBS kiv_position kiv_platform)
