kiv_test(zodiac_test SANITIZE SOURCES zodiac_test.cpp LIBS kiv_position kiv_platform)
