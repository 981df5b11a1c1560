# The serial link over real pseudo-terminals, with kivsim as the receiver.
kiv_test(serial_test SANITIZE TIMEOUT 300
  SOURCES serial_test.cpp serial_devices_test.cpp pty_sim.cpp
  LIBS kiv_position kiv_settings kiv_platform)
if(TARGET serial_test)
  add_dependencies(serial_test kivsim)
  target_compile_definitions(serial_test PRIVATE KIVSIM_PATH="$<TARGET_FILE:kivsim>")
endif()
