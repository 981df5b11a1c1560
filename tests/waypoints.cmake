# The user's waypoints: their file read back by gpsbabel, another program's
# changes kept, a bad file left as it was, the search's folding, names on
# the view that never overlap.
find_package(GIF REQUIRED)
kiv_test(waypoints_test SANITIZE SOURCES waypoints_test.cpp LIBS kiv_app GIF::GIF)
