# The column chooser and the saved column sets windows.
arv_add_library(arv_bulk_columns
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unExportColumn.h ${CMAKE_CURRENT_LIST_DIR}/unExportColumn.cpp
  DEPS arv_bulk_columnsets arv_core_values arv_main_catalogue arv_ui Qt6::Widgets)
