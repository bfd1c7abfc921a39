qv_add_gtest(NAME gp_text_test
  SOURCES StringUtilTest.cpp TextSearchTest.cpp LexicalCastTest.cpp FormatTest.cpp
  LIBS qv_gp
  LABELS gp unit)

# The platform string owners over GNUstep's Foundation; no display needed.
qv_add_gtest(NAME gp_platform_string_test
  SOURCES PlatformStringTest.mm
  LIBS qv_gp
  LABELS gp unit)
