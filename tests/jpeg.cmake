find_package(JPEG REQUIRED)
kiv_test(jpeg_test SANITIZE SOURCES jpeg_test.cpp LIBS kiv_maps JPEG::JPEG)
