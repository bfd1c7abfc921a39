qv_add_gtest(NAME gp_symbols_test
  SOURCES SymbolTest.cpp
  LIBS qv_gp
  LABELS gp unit)
