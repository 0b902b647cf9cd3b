# The report catalogue and the report runner (no widgets): shared by the report windows,
# arvendel-cli report and the benchmark.
arv_add_library(arv_reports_core
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unReportCatalogue.h
    ${CMAKE_CURRENT_LIST_DIR}/unReportCatalogue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unReportRun.h
    ${CMAKE_CURRENT_LIST_DIR}/unReportRun.cpp
  DEPS arv_query_filter arv_main_catalogue arv_core_connection arv_core_search arv_core_values Qt6::Core)
