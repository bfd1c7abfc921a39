# Picture files: hand-made PNG, JPEG and TGA files, damaged and edge-case
# ones, and what a failed read leaves behind.
find_package(JPEG REQUIRED)
find_package(ZLIB REQUIRED)
qv_add_gtest(NAME uia_picture_files_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PictureFileTest.cpp
  LIBS qv_uia JPEG::JPEG PkgConfig::LCMS2 ZLIB::ZLIB
  LABELS uia unit)

# The same readers against ImageMagick and Little CMS's jpgicc on files made
# at run time.
qv_add_gtest(NAME uia_picture_oracle_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PictureOracleTest.cpp
  LIBS qv_uia JPEG::JPEG
  LABELS uia peer)
target_include_directories(uia_picture_oracle_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

# The fuzz target of the detecting reader, replayed over its corpus (and every
# cut of each corpus file) under the test build's sanitizers.
qv_add_gtest(NAME uia_picture_corpus_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz/PictureCorpusReplayTest.cpp ${CMAKE_CURRENT_LIST_DIR}/fuzz/PictureReaderFuzz.cpp
  LIBS qv_uia
  LABELS uia unit)
target_compile_definitions(uia_picture_corpus_test PRIVATE
  QV_PICTURE_CORPUS_DIR="${CMAKE_CURRENT_LIST_DIR}/fuzz/picture-corpus")
target_include_directories(uia_picture_corpus_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

# The same target under clang's libFuzzer, built only on request
# (cmake --build . --target uia_picture_fuzzer; then run
# uia_picture_fuzzer <a scratch corpus folder> <the corpus above>). CI does not
# run it.
find_program(QV_CLANGXX clang++)
if(QV_CLANGXX)
  set(QV_UIA_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
  set(QV_GP_DIR ${PROJECT_SOURCE_DIR}/sources/libs/qvlibs/gp)
  set(QV_PICTURE_FUZZ_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz/PictureReaderFuzz.cpp
    ${QV_UIA_DIR}/src/Common/Picture.cpp ${QV_UIA_DIR}/src/Common/PictureProperties.cpp
    ${QV_UIA_DIR}/src/Common/PictureFiles.cpp ${QV_UIA_DIR}/src/Common/PicturePNG.cpp
    ${QV_UIA_DIR}/src/Common/PictureJPG.cpp ${QV_UIA_DIR}/src/Common/PictureTGA.cpp
    ${QV_UIA_DIR}/src/Common/JPGSourceManager.cpp
    ${QV_GP_DIR}/src/Common/Stream.cpp ${QV_GP_DIR}/src/Common/MemoryStorage.cpp)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/uia_picture_fuzzer
    COMMAND ${QV_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
            -I${QV_UIA_DIR}/include -I${QV_UIA_DIR}/src -I${QV_GP_DIR}/include
            ${QV_PICTURE_FUZZ_SOURCES} -lpng -ljpeg -llcms2
            -o ${CMAKE_CURRENT_BINARY_DIR}/uia_picture_fuzzer
    DEPENDS ${QV_PICTURE_FUZZ_SOURCES}
    COMMENT "Building the picture reader's libFuzzer target")
  add_custom_target(uia_picture_fuzzer DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/uia_picture_fuzzer)
endif()
