# The moving map's pieces: follow, scale bar, vehicle arrow, night colours, window state (headless, pure).
kiv_test(moving_map_test SANITIZE
  SOURCES view_follow_test.cpp scale_bar_test.cpp vehicle_arrow_test.cpp night_palette_test.cpp window_state_test.cpp
          pixel_rows_test.cpp
  LIBS kiv_app)
