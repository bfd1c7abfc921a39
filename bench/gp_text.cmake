# Symbol interning and lookup, UTF-8/UTF-16 conversion throughput.
add_executable(gp_text_bench GPTextBenchmark.cpp)
qv_warnings(gp_text_bench)
target_link_libraries(gp_text_bench PRIVATE qv_gp benchmark::benchmark)
