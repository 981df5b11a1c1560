kiv_bench(nmea_bench SOURCES nmea_bench.cpp LIBS kiv_position kiv_platform)
