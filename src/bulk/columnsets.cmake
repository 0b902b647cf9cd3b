# Export column sets in the registry.
arv_add_library(arv_bulk_columnsets
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unColumnSets.h ${CMAKE_CURRENT_LIST_DIR}/unColumnSets.cpp
  DEPS arv_registry arv_main_catalogue Qt6::Core)
