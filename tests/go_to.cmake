# Go To: geodesics, the navigation state, and a drive through the window.
find_package(GIF REQUIRED)
kiv_test(nav_test SANITIZE SOURCES nav_test.cpp LIBS kiv_nav)
kiv_test(app_go_to_test SANITIZE SOURCES app_go_to_test.cpp LIBS kiv_app GIF::GIF)
