# gif_decode against giflib's DGifSlurp on synthetic map sheets (build in Release).
find_package(GIF REQUIRED)
kiv_bench(gif_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gif_bench.cpp ${CMAKE_SOURCE_DIR}/maps/gif_decoder.cpp
  LIBS GIF::GIF)
