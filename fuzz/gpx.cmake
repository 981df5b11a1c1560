# GPX reading (tracks, routes, waypoints) as kivtrack reads it.
kiv_fuzzer(gpx_fuzz SOURCES gpx_fuzz.cpp LIBS kiv_tracks kiv_settings kiv_platform)
