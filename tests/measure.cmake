# The ruler and track statistics: the figures of a track, kivtrack info,
# and the ruler through the window's own functions.
kiv_test(track_stats_test SANITIZE SOURCES track_stats_test.cpp LIBS kiv_nav kiv_settings kiv_platform)
if(TARGET kivtrack)
  add_dependencies(track_stats_test kivtrack)
endif()
find_package(GIF REQUIRED)
kiv_test(app_measure_test SANITIZE SOURCES app_measure_test.cpp LIBS kiv_app GIF::GIF)
