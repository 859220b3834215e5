# The data check and the group totals over a DATA table holding every pollutant.
emlo_benchmark(check_bench check_bench.cpp emlo_check emlo_check_testsupport Qt6::Core)
