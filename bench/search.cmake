# Find: a search over a million names through the map server, as the window asks it.
kiv_bench(search_bench SOURCES search_bench.cpp LIBS kiv_nav)
if(TARGET search_bench)
  target_compile_definitions(search_bench PRIVATE KIV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
