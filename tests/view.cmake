# The map view composed from stored sheets (headless).
kiv_test(view_test SANITIZE SOURCES view_test.cpp LIBS kiv_maps kiv_platform GIF::GIF)
# True north and the turned view, against PROJ (course-up).
find_package(PkgConfig REQUIRED)
if(NOT TARGET PkgConfig::PROJ)
  pkg_check_modules(PROJ REQUIRED IMPORTED_TARGET proj)
endif()
kiv_test(view_north_test SOURCES view_north_test.cpp LIBS kiv_maps PkgConfig::PROJ)
