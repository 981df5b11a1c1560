# PNG sheets through the sheet reader, their extent record chunk read and put in.
kiv_fuzzer(png_sheet_fuzz SOURCES png_sheet_fuzz.cpp LIBS kiv_maps kiv_platform)
