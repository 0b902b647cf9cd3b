# The export window over the export engine.
arv_add_library(arv_bulk_exportform
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unExportFormat.h ${CMAKE_CURRENT_LIST_DIR}/unExportFormat.cpp
  DEPS arv_bulk_export arv_ui Qt6::Widgets)
