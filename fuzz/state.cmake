# The window's state file (kiv_state.txt) and the track log.
kiv_fuzzer(state_fuzz SOURCES state_fuzz.cpp LIBS kiv_tracks kiv_settings kiv_platform)
