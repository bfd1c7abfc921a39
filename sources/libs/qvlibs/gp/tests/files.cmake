# File names in the colon form and their POSIX paths, the file-type registry,
# file-system questions and file URLs.
qv_add_gtest(NAME gp_files_test
  SOURCES FileNameTest.cpp FileTypeTest.cpp
  LIBS qv_gp
  LABELS gp unit)
target_include_directories(gp_files_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
