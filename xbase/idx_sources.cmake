# IDX index files: sources of the engine library and their GoogleTest programs.
set(XBASE_IDX_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/idx.cpp
  ${CMAKE_CURRENT_LIST_DIR}/idxcodec.cpp
)
set(XBASE_IDX_TESTS
  ${CMAKE_CURRENT_LIST_DIR}/tests/idx_read_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/idx_write_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/idx_robustness_test.cpp
)
