# Map sheet downloads: the pieces and a fault-injecting loopback server
# (also in the sanitizer build), and the real local map server.
find_package(GIF REQUIRED)

kiv_test(download_parts_test SANITIZE SOURCES download_parts_test.cpp LIBS kiv_maps kiv_platform GIF::GIF)
kiv_test(download_fault_test SANITIZE SOURCES download_fault_test.cpp LIBS kiv_maps kiv_platform GIF::GIF)

# The real local map server, started once for the whole binary (a gtest
# environment): the binary runs as one test so that the server is shared.
# The first run builds the map data cache (a minute or two), hence the
# time-out. Skipped where MapServer, lighttpd or GMT are not installed.
if(NOT KIV_SANITIZE)
  add_executable(download_server_test download_server_test.cpp)
  target_link_libraries(download_server_test PRIVATE kiv_maps kiv_platform GIF::GIF GTest::gtest Threads::Threads)
  target_include_directories(download_server_test PRIVATE "${CMAKE_SOURCE_DIR}")
  find_program(KIV_PYTHON3 NAMES python3)
  target_compile_definitions(download_server_test PRIVATE
    KIV_PYTHON3="${KIV_PYTHON3}"
    KIV_TESTDATA_DIR="${KIV_TESTDATA_DIR}"
    KIV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    KIV_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(TARGET kivsheet)
    add_dependencies(download_server_test kivsheet)
    target_compile_definitions(download_server_test PRIVATE KIVSHEET_PATH="$<TARGET_FILE:kivsheet>")
  endif()
  add_test(NAME download_server_test COMMAND download_server_test)
  set_tests_properties(download_server_test PROPERTIES
    TIMEOUT 900 LABELS mapserver SKIP_REGULAR_EXPRESSION "KIV-MAPSERVER-UNAVAILABLE")
endif()

# Sheets from a WMS GetMap source, against the fault-injecting server.
kiv_test(download_wms_test SANITIZE SOURCES download_wms_test.cpp LIBS kiv_maps kiv_platform GIF::GIF)

# Sheets made from tiles of a loopback tile server and of an MBTiles file.
find_package(SQLite3 REQUIRED)
kiv_test(tiles_test SANITIZE SOURCES tiles_test.cpp LIBS kiv_maps kiv_platform GIF::GIF SQLite::SQLite3)
if(TARGET tiles_test AND TARGET kivsheet)
  add_dependencies(tiles_test kivsheet)
  target_compile_definitions(tiles_test PRIVATE KIVSHEET_PATH="$<TARGET_FILE:kivsheet>")
endif()
