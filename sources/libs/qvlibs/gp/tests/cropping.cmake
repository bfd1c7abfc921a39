# Fitting a line of text into a width in pixels, measured by a fixed-width
# stand-in for a font.
qv_add_gtest(NAME gp_cropping_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StringCropperTest.cpp
  LIBS qv_gp
  LABELS gp unit)
