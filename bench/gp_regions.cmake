# Region union, intersection and subtraction on random rectangle sets against
# pixman's regions, in one run.
pkg_check_modules(PIXMAN REQUIRED IMPORTED_TARGET pixman-1)
add_executable(gp_regions_bench ${CMAKE_CURRENT_LIST_DIR}/gp/RegionBench.cpp)
target_link_libraries(gp_regions_bench PRIVATE qv_gp PkgConfig::PIXMAN benchmark::benchmark)
qv_warnings(gp_regions_bench)
