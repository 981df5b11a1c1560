# The real window's paint and the program's start to its first paint, under
# Xvfb (started by the benchmark when DISPLAY is not set).
if(KIV_SANITIZE OR NOT TARGET kiv_wx)
  return()
endif()
find_package(GIF REQUIRED)
kiv_bench(gui_bench SOURCES gui_bench.cpp LIBS kiv_wx GIF::GIF)
if(TARGET gui_bench)
  add_dependencies(gui_bench kiv)
endif()
