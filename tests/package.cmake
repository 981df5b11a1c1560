# Installing like any Linux program (normal build only): the Debian package
# holds what a user needs, the desktop entry validates, and every program
# answers --help and refuses a wrong option.
if(NOT KIV_SANITIZE)
  find_program(DPKG_DEB dpkg-deb)
  if(DPKG_DEB)
    add_test(NAME package_deb COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(package_deb PROPERTIES TIMEOUT 600 LABELS package)
  endif()
  find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
  if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/packaging/kiv.desktop)
    set_tests_properties(desktop_entry PROPERTIES LABELS package)
  endif()
  add_test(NAME command_line COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/command_line_test.sh ${CMAKE_BINARY_DIR}
    ${CMAKE_SOURCE_DIR})
  set_tests_properties(command_line PROPERTIES LABELS package)
endif()
