# Sentence-to-fix latency through a pseudo-terminal and the serial reader,
# directly and through gpsd.
kiv_bench(serial_bench SOURCES serial_bench.cpp LIBS kiv_position kiv_settings kiv_platform)
