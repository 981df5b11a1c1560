# GIF decoder against giflib (encoder and decoder used as the oracle).
find_package(GIF REQUIRED)
kiv_test(gif_test SANITIZE
  SOURCES gif_test.cpp ${CMAKE_SOURCE_DIR}/maps/gif_decoder.cpp
  LIBS GIF::GIF)
