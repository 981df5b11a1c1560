# Where positions come from besides a local serial port: port diagnostics,
# gpsd through gpsfake, raw NMEA over TCP, and replug through kivsim.
kiv_test(port_diagnostics_test SANITIZE SOURCES port_diagnostics_test.cpp LIBS kiv_app kiv_position)
kiv_test(sources_net_test SANITIZE TIMEOUT 120
  SOURCES sources_net_test.cpp pty_sim.cpp
  LIBS kiv_position kiv_settings kiv_platform)
if(TARGET sources_net_test)
  add_dependencies(sources_net_test kivsim)
  target_compile_definitions(sources_net_test PRIVATE KIV_TESTDATA_DIR="${KIV_TESTDATA_DIR}"
    KIVSIM_PATH="$<TARGET_FILE:kivsim>")
endif()
