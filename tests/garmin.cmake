kiv_test(garmin_test SANITIZE SOURCES garmin_test.cpp LIBS kiv_position kiv_platform)
