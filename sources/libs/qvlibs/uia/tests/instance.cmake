# The single-instance claim across processes, without a display: probes ask
# ApplicationInstanceSingleton side by side, from an application folder and
# as a plain program.
add_executable(uia_instance_probe ${CMAKE_CURRENT_LIST_DIR}/InstanceProbe.mm)
target_link_libraries(uia_instance_probe PRIVATE qv_uia)
qv_warnings(uia_instance_probe)

add_executable(uia_instance_probe_app ${CMAKE_CURRENT_LIST_DIR}/InstanceProbe.mm)
target_link_libraries(uia_instance_probe_app PRIVATE qv_uia)
qv_warnings(uia_instance_probe_app)
qv_add_app_bundle(TARGET uia_instance_probe_app
  NAME "Instance Probe"
  IDENTIFIER com.example.qv.instance-probe
  VERSION 1.0)

qv_add_gtest(NAME uia_instance_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstanceLockTest.cpp
  LIBS qv_uia qv_gui_support
  LABELS uia unit
  TIMEOUT 120)
target_include_directories(uia_instance_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
target_compile_definitions(uia_instance_test PRIVATE
  QV_INSTANCE_PROBE="$<TARGET_FILE:uia_instance_probe>"
  QV_INSTANCE_PROBE_APP="$<TARGET_FILE:uia_instance_probe_app>")
add_dependencies(uia_instance_test uia_instance_probe uia_instance_probe_app)
