# The local map server with OpenStreetMap imports: imports a small extract
# into a temporary folder, starts the server and checks the sheets drawn
# from it. Exits 77 (skipped) where MapServer, lighttpd, GMT or GDAL are
# missing; the first run may build the map data cache (a minute or two).
if(NOT KIV_SANITIZE AND TARGET kivsheet)
  add_executable(mapserver_import_test mapserver_import_test.cpp)
  target_link_libraries(mapserver_import_test PRIVATE kiv_nav kiv_maps kiv_platform GTest::gtest Threads::Threads)
  target_include_directories(mapserver_import_test PRIVATE "${CMAKE_SOURCE_DIR}")
  target_compile_definitions(mapserver_import_test PRIVATE
    KIV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" KIVSHEET_PATH="$<TARGET_FILE:kivsheet>"
    FULL_DISK_SHIM="$<TARGET_FILE:kiv_full_disk_shim>")
  add_dependencies(mapserver_import_test kivsheet kiv_full_disk_shim)
  add_test(NAME mapserver_import_test COMMAND mapserver_import_test)
  set_tests_properties(mapserver_import_test PROPERTIES TIMEOUT 900 LABELS mapserver SKIP_RETURN_CODE 77)
endif()
