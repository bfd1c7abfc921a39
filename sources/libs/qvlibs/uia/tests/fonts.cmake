# Fonts: the engine's sharing of files and faces, metrics of DejaVu, fonts
# that fail, glyph forms; measuring, positions and cropping; drawing, layout
# and a reference picture. The DejaVu files come from fonts-dejavu-core.
qv_add_gtest(NAME uia_fonts_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FontEngineTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FontTextTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FontDrawingTest.cpp
  LIBS qv_uia Freetype::Freetype
  LABELS uia unit)
# The glyph conversion is internal to the library.
target_include_directories(uia_fonts_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src/Common
  ${PROJECT_SOURCE_DIR}/tests/support)
target_compile_definitions(uia_fonts_test PRIVATE QV_FONT_TEST_DATA="${CMAKE_CURRENT_LIST_DIR}/data")
