# One full paint of an 800 x 600 window to the screen, and the picture's
# conversion alone. A GNUstep application: run it by hand on a display
# (xvfb-run -s "-screen 0 1024x768x24" build/bench/uia_paint_bench).
if(NOT TARGET qv_startup)
  return()
endif()
add_executable(uia_paint_bench
  ${CMAKE_CURRENT_LIST_DIR}/uia/PaintBench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/uia/DisplayRoundTrip.mm)
target_include_directories(uia_paint_bench PRIVATE ${CMAKE_SOURCE_DIR}/sources/libs/qvlibs/uia/src
  ${CMAKE_SOURCE_DIR}/sources/libs/qvlibs/uia/tests/gui)
target_link_libraries(uia_paint_bench PRIVATE qv_startup QV::UIA benchmark::benchmark)
set_target_properties(uia_paint_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
qv_warnings(uia_paint_bench)
