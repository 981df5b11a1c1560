# An area of 200 sheets from the local map server with 1 and 4 transfers at
# once (needs MapServer and lighttpd; starts the server itself).
kiv_bench(sheets_area_bench SOURCES sheets_area_bench.cpp LIBS kiv_maps kiv_platform)
if(TARGET sheets_area_bench)
  target_compile_definitions(sheets_area_bench PRIVATE KIV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
