# The message box on a real X display. The test runs its own Xvfb and drives
# the alert probe's box with xdotool (both installed by scripts/setup).
add_executable(gp_alert_probe ${CMAKE_CURRENT_LIST_DIR}/AlertProbe.mm)
qv_warnings(gp_alert_probe)
target_link_libraries(gp_alert_probe PRIVATE qv_gp)
target_include_directories(gp_alert_probe PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)

qv_add_gtest(NAME gp_alert_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AlertTest.cpp
  LIBS qv_gp qv_gui_support
  LABELS gp gui
  TIMEOUT 120)
target_compile_definitions(gp_alert_test PRIVATE QV_ALERT_PROBE="$<TARGET_FILE:gp_alert_probe>")
add_dependencies(gp_alert_test gp_alert_probe)
