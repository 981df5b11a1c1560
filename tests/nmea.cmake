kiv_test(nmea_test SANITIZE SOURCES nmea_test.cpp nmea_sms_test.cpp LIBS kiv_position)
