# The GUI test session helper on a real (virtual) display.
qv_add_gtest(NAME uia_gui_session_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui/GuiSessionTest.cpp
  LIBS qv_gui_support
  LABELS uia gui
  TIMEOUT 120)
target_compile_definitions(uia_gui_session_test PRIVATE QV_BARE_APP="$<TARGET_FILE:qv_bare_app>")
add_dependencies(uia_gui_session_test qv_bare_app)
