# References to existing items, system folders, container names of items,
# and file URLs handed over by the platform.
qv_add_gtest(NAME gp_file_refs_test
  SOURCES FileRefTest.cpp URIBridgeTest.mm
  LIBS qv_gp
  LABELS gp unit)
