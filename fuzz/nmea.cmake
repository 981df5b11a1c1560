# NMEA decoder and phone reply lines; seeded from the receiver captures when
# present (after the build-dir corpus, which receives the new inputs). The
# decoder sources are compiled in so that libFuzzer sees their coverage.
set(nmea_fuzz_seeds)
if(EXISTS "${KIV_TESTDATA_DIR}/receivers")
  set(nmea_fuzz_seeds SEEDS "${KIV_TESTDATA_DIR}/receivers")
endif()
kiv_fuzzer(nmea_fuzz
  SOURCES nmea_fuzz.cpp
    ${CMAKE_SOURCE_DIR}/position/nmea.cpp ${CMAKE_SOURCE_DIR}/position/nmea_fields.cpp
    ${CMAKE_SOURCE_DIR}/position/nmea_satellites.cpp
    ${CMAKE_SOURCE_DIR}/position/tripmate.cpp ${CMAKE_SOURCE_DIR}/position/sms.cpp
  LIBS kiv_position kiv_platform MAX_LEN 9000 ${nmea_fuzz_seeds})
