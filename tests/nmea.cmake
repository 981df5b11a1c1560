kiv_test(nmea_test SANITIZE SOURCES nmea_test.cpp nmea_sms_test.cpp LIBS kiv_position)

if(TARGET kivdump)
  kiv_test(nmea_kivdump_test SANITIZE SOURCES nmea_kivdump_test.cpp)
  if(TARGET nmea_kivdump_test)
    add_dependencies(nmea_kivdump_test kivdump)
  endif()
endif()
