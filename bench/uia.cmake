# Start-up, memory and idle cost of a GNUstep application on a virtual
# display, set beside the bare application with one window: the updater by
# default, or any program given with --program.
# Run by hand: build/bench/uia_launch_bench (from a Release build).
if(NOT TARGET qv_gui_support OR NOT TARGET zrv_firmware_updater)
  return()
endif()
# The first paint is timed from outside the program, by the X server's DAMAGE
# extension (libxdamage-dev).
find_package(X11 REQUIRED)
if(NOT X11_Xdamage_FOUND)
  message(STATUS "uia_launch_bench left out: no X DAMAGE library (libxdamage-dev)")
  return()
endif()
add_executable(uia_launch_bench ${CMAKE_CURRENT_LIST_DIR}/uia/LaunchBench.cpp ${CMAKE_CURRENT_LIST_DIR}/uia/DamageWatch.cpp)
target_link_libraries(uia_launch_bench PRIVATE qv_gui_support X11::X11 X11::Xdamage)
target_compile_definitions(uia_launch_bench PRIVATE
  QV_BARE_APP="$<TARGET_FILE:qv_bare_app>"
  QV_UPDATER_APP="$<TARGET_FILE:zrv_firmware_updater>")
add_dependencies(uia_launch_bench qv_bare_app zrv_firmware_updater)
set_target_properties(uia_launch_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
qv_warnings(uia_launch_bench)
