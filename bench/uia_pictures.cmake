# Picture blending, copying, filling and nine-cell drawing over an 800 x 600
# target, beside pixman's compositing and memset in one run.
if(NOT TARGET qv_uia)
  return()
endif()
pkg_check_modules(PIXMAN REQUIRED IMPORTED_TARGET pixman-1)
add_executable(uia_pictures_bench ${CMAKE_CURRENT_LIST_DIR}/uia/PictureBench.cpp)
target_link_libraries(uia_pictures_bench PRIVATE qv_uia PkgConfig::PIXMAN benchmark::benchmark)
qv_warnings(uia_pictures_bench)
