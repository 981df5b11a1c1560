find_package(GIF REQUIRED)
find_package(PNG REQUIRED)
kiv_test(sheets_test SANITIZE SOURCES sheets_test.cpp LIBS kiv_maps kiv_platform GIF::GIF)

# The kivsheet tool as a user runs it (normal build only).
kiv_test(sheets_cli_test SOURCES sheets_cli_test.cpp LIBS kiv_maps GIF::GIF PNG::PNG)
if(TARGET sheets_cli_test AND TARGET kivsheet)
  add_dependencies(sheets_cli_test kivsheet)
  target_compile_definitions(sheets_cli_test PRIVATE KIVSHEET_PATH="$<TARGET_FILE:kivsheet>")
endif()

# The background sheet queue with blocking download doubles.
kiv_test(sheet_fetch_queue_test SANITIZE SOURCES sheet_fetch_queue_test.cpp LIBS kiv_maps)

# The sheet grid anywhere on Earth; cs2cs (proj-bin) checks the projection.
kiv_test(world_grid_test SANITIZE SOURCES world_grid_test.cpp LIBS kiv_maps)
