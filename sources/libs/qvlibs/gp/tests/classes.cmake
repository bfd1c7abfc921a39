# Run-time classes built over GCC's Objective-C runtime.
qv_add_gtest(NAME gp_class_factory_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ClassFactoryTest.mm
  LIBS qv_gp
  LABELS gp unit)
target_include_directories(gp_class_factory_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
