# Sources of the engine, shared by the main build and the clang-built fuzz targets.
set(XBASE_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/src/dbffile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/dbffile_header.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/dbffile_locks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/env.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/expr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/exprparser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/idx.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/idx_build.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/idx_changes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/idxcodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/idxcodec_encode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/numtext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/sde_api.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/workarea.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/workarea_indexes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/workarea_writes.cpp
)
# The engine's headers are named from the repository root.
get_filename_component(XBASE_REPOSITORY_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
