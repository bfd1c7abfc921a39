# Fonts: a glyph-cache hit beside FreeType loading and rendering the same
# glyph, text measuring per character, and laying out and drawing 1000
# characters of multi-line text. The fonts are DejaVu (fonts-dejavu-core).
if(NOT TARGET qv_uia)
  return()
endif()
find_package(Freetype 2.12 REQUIRED)
add_executable(uia_fonts_bench ${CMAKE_CURRENT_LIST_DIR}/uia/FontBench.cpp)
target_link_libraries(uia_fonts_bench PRIVATE qv_uia Freetype::Freetype benchmark::benchmark)
qv_warnings(uia_fonts_bench)
