# File-name parsing: absolute paths to the colon form and colon-form texts
# parsed, with the mount table read once.
add_executable(gp_files_bench ${CMAKE_CURRENT_LIST_DIR}/gp/FileNameBench.cpp)
target_include_directories(gp_files_bench PRIVATE ${CMAKE_SOURCE_DIR}/sources/libs/qvlibs/gp/src)
target_link_libraries(gp_files_bench PRIVATE qv_gp benchmark::benchmark)
qv_warnings(gp_files_bench)
