kiv_test(captures_nmea_test SANITIZE SOURCES captures_nmea_test.cpp LIBS kiv_position)

# The shared checkers over kivdump; skipped (77) without the captures.
# captures_nmea_compare: kivdump's rows against gpsd's; captures_epochs_compare:
# every position of every NMEA capture, multi-GNSS ones included, at 100%.
if(TARGET kivdump)
  foreach(test_mode "captures_nmea_compare;captures" "captures_epochs_compare;epochs")
    list(GET test_mode 0 test_name)
    list(GET test_mode 1 mode)
    add_test(NAME ${test_name}
      COMMAND sh "${CMAKE_CURRENT_SOURCE_DIR}/captures_nmea_compare.sh" ${mode} $<TARGET_FILE:kivdump>
              "${KIV_SHARED_TOOLS_DIR}" "${KIV_TESTDATA_DIR}/receivers")
    set_tests_properties(${test_name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
  endforeach()
endif()
