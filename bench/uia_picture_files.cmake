# Picture decoding against libpng's simplified reader and libjpeg-turbo's
# TurboJPEG decoder on the same typical pictures.
pkg_check_modules(TURBOJPEG QUIET IMPORTED_TARGET libturbojpeg)
if(TARGET qv_uia AND TURBOJPEG_FOUND)
  find_package(PNG 1.6 REQUIRED)
  add_executable(uia_picture_files_bench ${CMAKE_CURRENT_LIST_DIR}/uia/PictureDecodeBench.cpp)
  target_link_libraries(uia_picture_files_bench PRIVATE qv_uia PNG::PNG PkgConfig::TURBOJPEG benchmark::benchmark)
  qv_warnings(uia_picture_files_bench)
endif()
