# Container item look-up by id and by name among 10 000 items, and sequential
# reading of a container split over part files against the same bytes in one
# file.
add_executable(gp_containers_bench ${CMAKE_CURRENT_LIST_DIR}/gp/ContainerBench.cpp)
target_include_directories(gp_containers_bench PRIVATE ${PROJECT_SOURCE_DIR}/sources/libs/qvlibs/gp/tests)
target_link_libraries(gp_containers_bench PRIVATE qv_gp benchmark::benchmark)
qv_warnings(gp_containers_bench)
