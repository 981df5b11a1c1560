find_package(GIF REQUIRED)
kiv_bench(app_bench SOURCES app_bench.cpp LIBS kiv_app GIF::GIF)
