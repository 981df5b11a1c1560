find_package(GIF REQUIRED)
# kiv_app: the night palette, composed through and as a pass of its own.
kiv_bench(view_bench SOURCES view_bench.cpp LIBS kiv_app kiv_maps kiv_platform GIF::GIF)
