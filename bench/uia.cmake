# Start-up and idle cost of a GNUstep application on a virtual display: the
# bare application as the baseline, or any program given with --program.
# Run by hand: build/bench/uia_launch_bench (best from a Release build).
if(NOT TARGET qv_gui_support)
  return()
endif()
add_executable(uia_launch_bench ${CMAKE_CURRENT_LIST_DIR}/uia/LaunchBench.cpp)
target_link_libraries(uia_launch_bench PRIVATE qv_gui_support)
target_compile_definitions(uia_launch_bench PRIVATE QV_BARE_APP="$<TARGET_FILE:qv_bare_app>")
add_dependencies(uia_launch_bench qv_bare_app)
set_target_properties(uia_launch_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
qv_warnings(uia_launch_bench)
