# The main window logic on the headless backend: real sheets, real ptys.
find_package(GIF REQUIRED)
kiv_test(app_test SANITIZE
  SOURCES app_startup_test.cpp app_receiver_test.cpp app_navigation_test.cpp app_paint_test.cpp app_online_test.cpp
  LIBS kiv_app GIF::GIF)
kiv_test(stale_fix_clock_test SANITIZE SOURCES stale_fix_clock_test.cpp LIBS kiv_app)
