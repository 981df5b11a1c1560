# Where positions come from besides a local serial port: port diagnostics,
# gpsd through gpsfake, raw NMEA over TCP, and replug through kivsim.
kiv_test(port_diagnostics_test SANITIZE SOURCES port_diagnostics_test.cpp LIBS kiv_position)
