# Menu commands and dialogs on the headless backend: real sheets, real
# pseudo-terminals, python's web server for Online.
find_package(GIF REQUIRED)
find_program(KIV_MENUS_PYTHON3 NAMES python3)

kiv_test(menus_test SANITIZE SOURCES menus_test.cpp menus_maps_test.cpp LIBS kiv_app GIF::GIF)
if(TARGET menus_test)
  target_compile_definitions(menus_test PRIVATE KIV_PYTHON3="${KIV_MENUS_PYTHON3}" KIV_CURL="")
endif()

kiv_test(dialogs_test SANITIZE SOURCES dialogs_test.cpp LIBS kiv_app)
