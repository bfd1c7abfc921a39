add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/support ${CMAKE_BINARY_DIR}/tests/support)
