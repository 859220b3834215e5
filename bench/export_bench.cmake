# The XML export of a full enterprise: DATA with every pollutant, and ATTR.
if(TARGET emlo_export_testing)
  emlo_benchmark(export_bench export_bench.cpp emlo_export emlo_export_testing Qt6::Core)
endif()
