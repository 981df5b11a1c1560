# The serial link over real pseudo-terminals, with kivsim as the receiver.
kiv_test(serial_test SANITIZE TIMEOUT 300
  SOURCES serial_test.cpp serial_devices_test.cpp pty_sim.cpp
  LIBS kiv_app kiv_position kiv_settings kiv_platform)
if(TARGET serial_test)
  add_dependencies(serial_test kivsim)
  target_compile_definitions(serial_test PRIVATE KIVSIM_PATH="$<TARGET_FILE:kivsim>")
endif()

kiv_test(serial_kivsim_test SOURCES serial_kivsim_test.cpp pty_sim.cpp)
if(TARGET serial_kivsim_test)
  add_dependencies(serial_kivsim_test kivsim)
  target_compile_definitions(serial_kivsim_test PRIVATE KIVSIM_PATH="$<TARGET_FILE:kivsim>")
endif()
