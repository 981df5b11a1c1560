# The map server's reply page and a WMS service's error reply.
kiv_fuzzer(sheet_reply_fuzz SOURCES sheet_reply_fuzz.cpp LIBS kiv_maps kiv_platform)
