kiv_bench(night_bench SOURCES night_bench.cpp LIBS kiv_app)
