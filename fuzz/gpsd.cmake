# gpsd's replies as the gpsd:// source reads them, and the network source names.
kiv_fuzzer(gpsd_reply_fuzz SOURCES gpsd_reply_fuzz.cpp LIBS kiv_position kiv_platform)
