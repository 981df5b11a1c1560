# Routing over a generated city: a 20 km route and a re-route through
# kivroute as the map server runs it (a process a request) and as the window
# does (kept running, through the window's own request code, and drawn), the routing database's
# build against the import's own time, and the engine's peak memory on the
# largest extract made here (KIV_ROUTE_BENCH_KM, default 60 km square).
if(TARGET kivroute)
  kiv_bench(route_bench SOURCES route_bench.cpp LIBS kiv_app)
  if(TARGET route_bench)
    target_compile_definitions(route_bench PRIVATE KIV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      KIVROUTE_PATH="$<TARGET_FILE:kivroute>")
    add_dependencies(route_bench kivroute)
  endif()
endif()
