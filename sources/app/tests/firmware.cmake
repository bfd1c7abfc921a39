# The embedded firmware images and the check of a folder of real images.
qv_add_gtest(NAME app_firmware_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FirmwareImagesTest.cpp
  LIBS qv_zarn simkbd_model
  LABELS app unit)

add_test(NAME app_firmware_dir_check
  COMMAND ${CMAKE_COMMAND}
    -DCHECK_SCRIPT=${CMAKE_CURRENT_LIST_DIR}/../ZARN/firmware/CheckFirmwareDir.cmake
    -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/app_firmware_dir_check
    -P ${CMAKE_CURRENT_LIST_DIR}/firmware/CheckFirmwareDirTest.cmake)
set_tests_properties(app_firmware_dir_check PROPERTIES LABELS "app;unit" TIMEOUT 60)
