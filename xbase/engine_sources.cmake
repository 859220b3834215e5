# Sources of the engine proper (the IDX module lists its own in idx_sources.cmake).
# Shared by the main build and the clang-built fuzz targets.
set(XBASE_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/src/dbffile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/env.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/expr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/numtext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/sde_api.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/workarea.cpp
)
