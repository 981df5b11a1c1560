# GIF decoder fuzzer; its kept corpus holds a few small GIFs.
kiv_fuzzer(gif_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gif_fuzz.cpp ${CMAKE_SOURCE_DIR}/maps/gif_decoder.cpp)
