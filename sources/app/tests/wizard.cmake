# The update wizard's steps against a scripted engine, its texts, and the
# application's quit decision; no display and no keyboard.
qv_add_gtest(NAME app_wizard_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wizard/UpdateWizardFlowTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/wizard/FirmwareUpdaterAppTest.cpp
  LIBS qv_wizard_app qv_wizard_gui
  LABELS app unit)
