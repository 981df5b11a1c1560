# Routing: a hand-written grid of streets imported by the map server, routed
# by kivroute from the command line and over HTTP. Exits 77 (skipped) where
# Routino, osmium, GDAL or lighttpd are missing.
if(NOT KIV_SANITIZE AND TARGET kivroute)
  add_executable(route_test route_test.cpp)
  target_link_libraries(route_test PRIVATE GTest::gtest)
  target_compile_definitions(route_test PRIVATE
    KIV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KIVROUTE_PATH="$<TARGET_FILE:kivroute>")
  add_dependencies(route_test kivroute)
  add_test(NAME route_test COMMAND route_test)
  set_tests_properties(route_test PROPERTIES TIMEOUT 300 LABELS mapserver SKIP_RETURN_CODE 77)
endif()
