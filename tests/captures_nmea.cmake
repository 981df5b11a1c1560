kiv_test(captures_nmea_test SANITIZE SOURCES captures_nmea_test.cpp LIBS kiv_position)

# The shared checker over kivdump; skipped (77) without the captures.
if(TARGET kivdump)
  add_test(NAME captures_nmea_compare
    COMMAND sh "${CMAKE_CURRENT_SOURCE_DIR}/captures_nmea_compare.sh" $<TARGET_FILE:kivdump>
            "${KIV_SHARED_TOOLS_DIR}" "${KIV_TESTDATA_DIR}/receivers")
  set_tests_properties(captures_nmea_compare PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()

# Positions of every NMEA capture, multi-GNSS ones included, at 100%.
if(TARGET kivdump)
  add_test(NAME captures_epochs_compare
    COMMAND sh "${CMAKE_CURRENT_SOURCE_DIR}/captures_epochs_compare.sh" $<TARGET_FILE:kivdump>
            "${KIV_SHARED_TOOLS_DIR}" "${KIV_TESTDATA_DIR}/receivers")
  set_tests_properties(captures_epochs_compare PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
