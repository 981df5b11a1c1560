kiv_test(zodiac_test SANITIZE SOURCES zodiac_test.cpp LIBS kiv_position kiv_platform)

# kivdump on the real Zodiac capture against gpsd's decode of it. The receiver's
# whole seconds (words 16-18) sit a fraction below gpsd's time, which adds the
# 999999999 ns of words 19-20: every row is matched at the next second's row,
# so the last expected second (20:42:40) has no counterpart. Exactly that is
# the expected outcome; any other count fails.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND AND TARGET kivdump
   AND EXISTS "${KIV_SHARED_TOOLS_DIR}/compare_captures.py"
   AND EXISTS "${KIV_TESTDATA_DIR}/receivers/zodiac.bin")
  add_test(NAME zodiac_capture_compare
    COMMAND ${Python3_EXECUTABLE} "${KIV_SHARED_TOOLS_DIR}/compare_captures.py" $<TARGET_FILE:kivdump>
            "${KIV_TESTDATA_DIR}/receivers" --device earthmate zodiac)
  set_tests_properties(zodiac_capture_compare PROPERTIES TIMEOUT 120
    PASS_REGULAR_EXPRESSION "captures 1: RMC rows 21/21, final positions 1/1, raw wire runs 0/0")
endif()
