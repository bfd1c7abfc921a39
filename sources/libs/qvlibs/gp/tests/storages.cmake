# Storages and streams: memory, file, window and resource storages at their
# limits, and typed values in both byte orders.
qv_add_gtest(NAME gp_storages_test
  SOURCES StorageTest.cpp StreamTest.cpp
  LIBS qv_gp
  LABELS gp unit)

# Container files and the storages over their parts and items, written by a
# test-only generator (there is no other program that makes them).
qv_add_gtest(NAME gp_containers_test
  SOURCES ContainerTest.cpp
  LIBS qv_gp
  LABELS gp unit)
target_include_directories(gp_containers_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

# The fuzz target of the container reader, replayed over its corpus (and cuts
# of each corpus file) under the test build's sanitizers.
qv_add_gtest(NAME gp_container_corpus_test
  SOURCES fuzz/ContainerCorpusReplayTest.cpp fuzz/ContainerFuzz.cpp
  LIBS qv_gp
  LABELS gp unit)
target_compile_definitions(gp_container_corpus_test PRIVATE
  QV_CONTAINER_CORPUS_DIR="${CMAKE_CURRENT_LIST_DIR}/fuzz/container-corpus")
