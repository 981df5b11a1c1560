# The main window's tracks on the headless backend: GPX recording while
# driving, GPX tracks drawn over the sheet, the look of a stale fix.
find_package(GIF REQUIRED)
kiv_test(app_tracks_test
  SOURCES app_tracks_test.cpp
  LIBS kiv_app GIF::GIF)
