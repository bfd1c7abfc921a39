# The DFU block phase as the product runs it (the update road, the window
# application) and called alone, beside dfu-util's, against one simulated
# keyboard by its own clock. Run it with bench/run-simulated
# BUILD_FOLDER bench-dfu-block-phase [--rounds N] (under umockdev-wrapper).
if(NOT TARGET simkbd_host OR NOT TARGET update-road OR NOT TARGET zrv_firmware_updater)
  return()
endif()
find_package(nlohmann_json REQUIRED)

add_executable(bench-dfu-download ${CMAKE_CURRENT_LIST_DIR}/dfu/DFUDownloadPeer.cpp)
target_link_libraries(bench-dfu-download PRIVATE qv_usb)
set_target_properties(bench-dfu-download PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
qv_warnings(bench-dfu-download)

add_executable(bench-dfu-block-phase ${CMAKE_CURRENT_LIST_DIR}/dfu/DFUBlockPhaseBench.cpp)
target_link_libraries(bench-dfu-block-phase PRIVATE simkbd_host qv_zarn qv_gui_support nlohmann_json::nlohmann_json)
# The window's places come from the look table's header; nothing of the
# wizard is linked.
target_include_directories(bench-dfu-block-phase PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
  $<TARGET_PROPERTY:qv_wizard_gui,INTERFACE_INCLUDE_DIRECTORIES>)
target_compile_definitions(bench-dfu-block-phase PRIVATE
  UPDATE_ROAD="$<TARGET_FILE:update-road>"
  UPDATER_APP="$<TARGET_FILE:zrv_firmware_updater>")
set_target_properties(bench-dfu-block-phase PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench-dfu-block-phase bench-dfu-download update-road zrv_firmware_updater)
qv_warnings(bench-dfu-block-phase)
