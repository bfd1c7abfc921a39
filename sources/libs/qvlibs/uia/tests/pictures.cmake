# Pictures: sizes and buffers, origin and clip, frames and empty cells, the
# properties record.
qv_add_gtest(NAME uia_pictures_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PictureTest.cpp
  LIBS qv_uia
  LABELS uia unit)
