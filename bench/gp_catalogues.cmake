# Catalogue look-up against glibc's gettext on the same msgfmt catalogue.
add_executable(gp_catalogues_bench ${CMAKE_CURRENT_LIST_DIR}/gp/CatalogueLookupBench.cpp)
target_link_libraries(gp_catalogues_bench PRIVATE qv_gp benchmark::benchmark)
qv_warnings(gp_catalogues_bench)

# Catalogue loading time against size: ordinary catalogues and ones whose
# entries share one large text.
add_executable(gp_catalogue_load_bench ${CMAKE_CURRENT_LIST_DIR}/gp/CatalogueLoadBench.cpp)
target_include_directories(gp_catalogue_load_bench PRIVATE
  ${CMAKE_SOURCE_DIR}/sources/libs/qvlibs/gp/tests)
target_link_libraries(gp_catalogue_load_bench PRIVATE qv_gp benchmark::benchmark)
qv_warnings(gp_catalogue_load_bench)
