# Regions and the block pool: hand-made cases, running out of items, and
# random rectangle sets compared with a pixel model and with pixman.
pkg_check_modules(PIXMAN REQUIRED IMPORTED_TARGET pixman-1)
qv_add_gtest(NAME gp_regions_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/RegionTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegionCompareTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegularAllocatorTest.cpp
  LIBS qv_gp PkgConfig::PIXMAN
  LABELS gp unit)
