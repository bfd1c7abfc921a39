# The update road's own time above its fixed waits, one run of the whole road
# in-process against a simulated keyboard. Run it with
# bench/run-simulated BUILD_FOLDER bench-update-road [--size N] (under umockdev-wrapper).
if(NOT TARGET qv_update_road)
  return()
endif()
add_executable(bench-update-road ${CMAKE_CURRENT_LIST_DIR}/road/UpdateRoadBench.cpp)
target_link_libraries(bench-update-road PRIVATE qv_update_road simkbd_host)
set_target_properties(bench-update-road PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
qv_warnings(bench-update-road)
