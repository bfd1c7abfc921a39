# Catalogue look-up against glibc's gettext on the same msgfmt catalogue.
add_executable(gp_catalogues_bench ${CMAKE_CURRENT_LIST_DIR}/gp/CatalogueLookupBench.cpp)
target_link_libraries(gp_catalogues_bench PRIVATE qv_gp benchmark::benchmark)
qv_warnings(gp_catalogues_bench)
