# Mounted volumes and mount notices: mountinfo fixtures, listeners, and live
# mounts in a private mount namespace (skipped where that is not allowed).
qv_add_gtest(NAME gp_volumes_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/VolumeTest.mm
  LIBS qv_gp
  LABELS gp unit)
target_include_directories(gp_volumes_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src ${PROJECT_SOURCE_DIR}/tests/support)
