# The program on its real wxWidgets window under Xvfb, driven with xdotool
# and checked on screenshots. Skipped (77) where Xvfb or xdotool is missing.
if(KIV_SANITIZE OR NOT TARGET kiv)
  return()
endif()
find_package(GIF REQUIRED)
find_package(Python3 COMPONENTS Interpreter)

add_executable(kiv_gui_fixture gui_fixture.cpp)
target_link_libraries(kiv_gui_fixture PRIVATE kiv_maps GIF::GIF)
target_include_directories(kiv_gui_fixture PRIVATE "${CMAKE_SOURCE_DIR}")

if(Python3_Interpreter_FOUND AND TARGET kivsim)
  foreach(case map hidpi hidden warning dialogs bigmaps signal quiet)
    add_test(NAME gui_${case}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/gui_test.py ${CMAKE_BINARY_DIR} ${case})
    set_tests_properties(gui_${case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 90 LABELS gui)
  endforeach()
endif()

# The window while the map server stalls for 20 s; Download Area on it.
if(Python3_Interpreter_FOUND AND TARGET kivsim)
  foreach(case stall area)
    add_test(NAME gui_${case}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/gui_stall_test.py ${CMAKE_BINARY_DIR} ${case})
    set_tests_properties(gui_${case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 90 LABELS gui)
  endforeach()
endif()

# The view on a desktop with a window manager: maximise, full screen, drag,
# wheel, kept state, the vehicle in view on a drive at every level and on one
# across the edge of the Canadian grid.
if(Python3_Interpreter_FOUND AND TARGET kivsim)
  foreach(case window drive cross)
    add_test(NAME gui_view_${case}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/gui_view_test.py ${CMAKE_BINARY_DIR} ${case})
    set_tests_properties(gui_view_${case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS gui)
  endforeach()
endif()

# Twenty starts on fresh displays beside the map server and a driving
# receiver, a window search running meanwhile: every start opens the window.
if(Python3_Interpreter_FOUND AND TARGET kivsim)
  add_test(NAME gui_start_race
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/gui_start_test.py ${CMAKE_BINARY_DIR})
  set_tests_properties(gui_start_race PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600 LABELS "gui;mapserver")
  # One start on a display that drops the program's first connection.
  add_test(NAME gui_start_dropped
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/gui_start_test.py ${CMAKE_BINARY_DIR} dropped)
  set_tests_properties(gui_start_dropped PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 90 LABELS gui)
endif()

# Waypoints, Find and Go To in one chain: a mark found by name and gone to.
if(Python3_Interpreter_FOUND AND TARGET kivsim)
  add_test(NAME gui_chain_waypoint_go_to
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/gui_chain_test.py ${CMAKE_BINARY_DIR} waypoint_go_to)
  set_tests_properties(gui_chain_waypoint_go_to PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS gui)
endif()
