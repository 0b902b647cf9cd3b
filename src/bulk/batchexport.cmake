# The batch export window and its wiring to the main window's Bulk Export.
arv_add_library(arv_bulk_batch
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unBatchExport.h ${CMAKE_CURRENT_LIST_DIR}/unBatchExport.cpp
  DEPS arv_bulk_exportform arv_bulk_columns arv_bulk_export arv_query_filterdlg arv_query_filter arv_main_window
       arv_core_connection arv_core_values Qt6::Widgets)
