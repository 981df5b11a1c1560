# The README's first command end to end under Xvfb: local map server, simulated
# drive, the real window. Skipped (77) where Xvfb, xdotool or MapServer is missing.
if(NOT KIV_SANITIZE)
  add_test(NAME main_job COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/main_job_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(main_job PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE 77 LABELS "gui;mapserver"
    RUN_SERIAL TRUE)
  # The README's test command: both stages run, and a summary says which failed.
  add_test(NAME test_command COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/test_command_test.sh)
  set_tests_properties(test_command PROPERTIES TIMEOUT 60)
endif()
