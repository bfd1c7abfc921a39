# The DFU block phase, ours beside dfu-util's, against one simulated keyboard
# by its own clock. Run it with bench/run-simulated
# BUILD_FOLDER bench-dfu-block-phase [--rounds N] (under umockdev-wrapper).
if(NOT TARGET simkbd_host)
  return()
endif()
find_package(nlohmann_json REQUIRED)

add_executable(bench-dfu-download ${CMAKE_CURRENT_LIST_DIR}/dfu/DFUDownloadPeer.cpp)
target_link_libraries(bench-dfu-download PRIVATE qv_usb)
set_target_properties(bench-dfu-download PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
qv_warnings(bench-dfu-download)

add_executable(bench-dfu-block-phase ${CMAKE_CURRENT_LIST_DIR}/dfu/DFUBlockPhaseBench.cpp)
target_link_libraries(bench-dfu-block-phase PRIVATE simkbd_host nlohmann_json::nlohmann_json)
target_include_directories(bench-dfu-block-phase PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
set_target_properties(bench-dfu-block-phase PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench-dfu-block-phase bench-dfu-download)
qv_warnings(bench-dfu-block-phase)
