kiv_test(sky_plot_test SANITIZE SOURCES sky_plot_test.cpp LIBS kiv_app)

# The monitor on the real window with a replayed multi-GNSS receiver.
# Skipped (77) without Xvfb or the receiver captures.
if(NOT KIV_SANITIZE AND TARGET kiv AND TARGET kivsim)
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_Interpreter_FOUND)
    add_test(NAME gui_monitor_satellites
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/monitor_satellites_gui.py ${CMAKE_BINARY_DIR}
              "${KIV_TESTDATA_DIR}/receivers")
    set_tests_properties(gui_monitor_satellites PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 90 LABELS gui)
  endif()
endif()
