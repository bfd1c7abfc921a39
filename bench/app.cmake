# The updater window's software repaint: the whole window and one wheel step.
if(NOT TARGET zrv_firmware_updater)
  return()
endif()
add_executable(app_wizard_paint_bench ${CMAKE_CURRENT_LIST_DIR}/app/WizardPaintBench.cpp)
target_link_libraries(app_wizard_paint_bench PRIVATE qv_wizard_gui benchmark::benchmark)
target_compile_definitions(app_wizard_paint_bench PRIVATE
  UPDATER_BUNDLE="$<TARGET_FILE_DIR:zrv_firmware_updater>")
add_dependencies(app_wizard_paint_bench zrv_firmware_updater)
qv_warnings(app_wizard_paint_bench)
