# Pictures: sizes and buffers, origin and clip, frames and empty cells, the
# properties record; drawing, combining and scaling, clipped against unclipped
# drawing, the blending formulas against floating point and the four-pixel
# kernels against the plain ones.
qv_add_gtest(NAME uia_pictures_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PictureTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PictureDrawingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PictureCombinerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PixelRowsTest.cpp
  LIBS qv_uia
  LABELS uia unit)
# The kernels' plain and four-pixel forms are internal to the library.
target_include_directories(uia_pictures_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src/Common)
