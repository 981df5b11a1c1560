# Routes along roads in the window: the router's reply, following it, and
# a drive that leaves the route.
kiv_test(road_route_test SANITIZE SOURCES road_route_test.cpp LIBS kiv_nav)
kiv_test(app_road_route_test SOURCES app_road_route_test.cpp LIBS kiv_app GIF::GIF)
