# The settlement look-up over the full settlement list of the program folder:
# type-ahead per keystroke and filling the list (all, or one region's).
if(TARGET emlo_entry_ui AND TARGET refdata)
  emlo_benchmark(entry_bench entry_bench.cpp emlo_entry_ui emlo_dbwidgets Qt6::Widgets)
  target_compile_definitions(entry_bench PRIVATE EMLO_PROGRAM_DIR="${EMLO_BIN_DIR}/")
  add_dependencies(entry_bench refdata)
endif()
