# Translation catalogues: the .mo reader on well-formed and damaged data, the
# choice of locale and catalogue in a bundle's folders, and text domains.
qv_add_gtest(NAME gp_catalogue_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CatalogueTest.cpp
  LIBS qv_gp
  LABELS gp unit)
target_include_directories(gp_catalogue_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)

# The same catalogues read by glibc's gettext, written by GNU gettext's msgfmt.
qv_add_gtest(NAME gp_catalogue_peer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CataloguePeerTest.cpp
  LIBS qv_gp
  LABELS gp peer)

# The fuzz target of the catalogue reader, replayed over its corpus (and every
# cut of each corpus file) under the test build's sanitizers.
qv_add_gtest(NAME gp_mo_corpus_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/MoCorpusReplayTest.cpp ${CMAKE_CURRENT_LIST_DIR}/fuzz/MoReaderFuzz.cpp
  LIBS qv_gp
  LABELS gp unit)
target_compile_definitions(gp_mo_corpus_test PRIVATE
  QV_MO_CORPUS_DIR="${CMAKE_CURRENT_LIST_DIR}/fuzz/mo-corpus")
target_include_directories(gp_mo_corpus_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

# The same target under clang's libFuzzer, built only on request
# (cmake --build . --target gp_mo_fuzzer; then run
# gp_mo_fuzzer <a scratch corpus folder> <the corpus above>). CI does not run it.
find_program(QV_CLANGXX clang++)
if(QV_CLANGXX)
  set(QV_GP_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/gp_mo_fuzzer
    COMMAND ${QV_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -DQV_FUZZ_STANDALONE
            -I${QV_GP_DIR}/include -I${QV_GP_DIR}/src
            ${CMAKE_CURRENT_LIST_DIR}/fuzz/MoReaderFuzz.cpp ${QV_GP_DIR}/src/Common/GetTextLoader.cpp
            -o ${CMAKE_CURRENT_BINARY_DIR}/gp_mo_fuzzer
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/fuzz/MoReaderFuzz.cpp ${QV_GP_DIR}/src/Common/GetTextLoader.cpp
    COMMENT "Building the catalogue reader's libFuzzer target")
  add_custom_target(gp_mo_fuzzer DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/gp_mo_fuzzer)
endif()
