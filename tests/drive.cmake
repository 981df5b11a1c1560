# The field drive: the real program under Xvfb along a simulated route at high
# speed against the local map server, with the receiver unplugged, the server
# down, stalling, dripping and answering garbage, the maps disk full and a
# kill -9 on a schedule. The suite runs the short version (also in the
# sanitizer build); `tests/field_drive.py BUILD --minutes 10` is the long one.
# Skipped (77) where Xvfb, xdotool, MapServer or lighttpd is missing.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND AND TARGET kiv AND TARGET kivsim AND TARGET kivsheet)
  add_test(NAME field_drive
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/field_drive.py ${CMAKE_BINARY_DIR} --minutes 2.5)
  set_tests_properties(field_drive PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS "drive;gui;mapserver")
endif()
# Where no tmpfs can be mounted (not root), a full maps disk is a preloaded
# write failure.
if(NOT KIV_SANITIZE)
  add_library(kiv_full_disk_shim SHARED full_disk_shim.c)
  target_link_libraries(kiv_full_disk_shim PRIVATE ${CMAKE_DL_LIBS})
endif()
