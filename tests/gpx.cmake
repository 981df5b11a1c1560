# GPX: the writer, the reader, kivtrack, and every written file checked by
# gpsbabel and xmllint (skipped with a note where they are missing).
kiv_test(gpx_test SANITIZE
  SOURCES gpx_test.cpp
  LIBS kiv_tracks kiv_settings kiv_platform)
if(TARGET kivtrack)
  add_dependencies(gpx_test kivtrack)
endif()
# The full disk of the write-failure test (not in the sanitizer build).
if(NOT KIV_SANITIZE)
  add_dependencies(gpx_test kiv_full_disk_shim)
endif()
