# The map view composed from stored sheets (headless).
kiv_test(view_test SANITIZE SOURCES view_test.cpp LIBS kiv_maps kiv_platform GIF::GIF)
