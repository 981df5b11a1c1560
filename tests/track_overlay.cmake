# The main window's tracks on the headless backend: GPX recording while
# driving, GPX tracks drawn over the sheet, the look of a stale fix.
find_package(GIF REQUIRED)
kiv_test(app_tracks_test SANITIZE
  SOURCES app_tracks_test.cpp
  LIBS kiv_app GIF::GIF)

# On the real window: Open Track, Close Tracks, and the drive recorded.
if(NOT KIV_SANITIZE AND TARGET kiv AND TARGET kivsim)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND)
    add_test(NAME gui_track_overlay
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/track_overlay_gui_test.py ${CMAKE_BINARY_DIR} open)
    set_tests_properties(gui_track_overlay PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 90 LABELS gui)
  endif()
endif()
