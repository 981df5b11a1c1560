# What Measure adds to a full-HD paint (headless).
find_package(GIF REQUIRED)
kiv_bench(measure_bench SOURCES measure_bench.cpp LIBS kiv_app GIF::GIF)
