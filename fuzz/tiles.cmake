# Tile sources: sheets composed from an MBTiles file whose tiles (WebP,
# PNG, GIF, JPEG) or whole file are fuzzed, and the URL templates with the
# world grid.
kiv_fuzzer(tile_sheet_fuzz SOURCES tile_sheet_fuzz.cpp LIBS kiv_maps kiv_platform)
kiv_fuzzer(tile_url_fuzz SOURCES tile_url_fuzz.cpp LIBS kiv_maps kiv_platform)
