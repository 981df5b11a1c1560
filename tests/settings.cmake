kiv_test(settings_test SANITIZE
  SOURCES settings_test.cpp settings_write_test.cpp settings_track_log_test.cpp
          settings_working_folder_test.cpp
  LIBS kiv_app kiv_tracks kiv_settings kiv_platform)
