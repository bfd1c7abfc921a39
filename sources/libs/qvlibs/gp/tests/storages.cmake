# Storages and streams: memory, file, window and resource storages at their
# limits, and typed values in both byte orders.
qv_add_gtest(NAME gp_storages_test
  SOURCES StorageTest.cpp StreamTest.cpp
  LIBS qv_gp
  LABELS gp unit)
