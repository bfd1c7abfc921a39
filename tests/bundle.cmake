# The application folder made by qv_add_app_bundle, read back through NSBundle
# by a probe that runs from inside it.
add_executable(qv_bundle_probe ${CMAKE_CURRENT_LIST_DIR}/bundle/BundleProbe.mm)
target_link_libraries(qv_bundle_probe PRIVATE GNUstep::Base)
qv_warnings(qv_bundle_probe)
qv_add_app_bundle(TARGET qv_bundle_probe
  NAME "Bundle Probe"
  IDENTIFIER com.example.qv.bundle-probe
  VERSION "2.4.1 <beta> & co"
  RESOURCES ${CMAKE_CURRENT_LIST_DIR}/bundle/resources/stylesheets ${CMAKE_CURRENT_LIST_DIR}/bundle/resources/Note.txt)

qv_add_gtest(NAME uia_app_bundle_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bundle/AppBundleTest.cpp
  LIBS qv_gui_support
  LABELS uia unit
  TIMEOUT 60)
target_compile_definitions(uia_app_bundle_test PRIVATE QV_BUNDLE_PROBE="$<TARGET_FILE:qv_bundle_probe>")
add_dependencies(uia_app_bundle_test qv_bundle_probe)
