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
# Google Benchmark program (links the sources above and benchmark::benchmark_main).
set(XBASE_IDX_BENCH ${CMAKE_CURRENT_LIST_DIR}/tests/idx_bench.cpp)
# libFuzzer target (clang -fsanitize=fuzzer), linking the sources above.
set(XBASE_IDX_FUZZ ${CMAKE_CURRENT_LIST_DIR}/fuzz/fuzz_idx.cpp)
