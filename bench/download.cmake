# A missing sheet from the local map server beside curl, by the CGI request
# and through WMS (needs MapServer,
# lighttpd and curl; starts the server itself).
kiv_bench(download_bench SOURCES download_bench.cpp LIBS kiv_maps kiv_platform)
if(TARGET download_bench)
  target_compile_definitions(download_bench PRIVATE KIV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
