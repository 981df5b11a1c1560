kiv_fuzzer(sheet_extents_fuzz SOURCES sheet_extents_fuzz.cpp LIBS kiv_maps kiv_platform SECONDS 20
  SEEDS "${CMAKE_CURRENT_SOURCE_DIR}/sheet_extents_seeds")
