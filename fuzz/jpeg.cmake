# JPEG aerial sheets through the sheet reader and the extent record search.
kiv_fuzzer(jpeg_sheet_fuzz SOURCES jpeg_sheet_fuzz.cpp LIBS kiv_maps kiv_platform)
