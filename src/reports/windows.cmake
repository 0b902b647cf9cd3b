# The report windows: the catalogue (TfrmReports), the parameter dialogs (TfrmDaysNumber,
# TfrmDynamicgroupSelect) and the result window (TfrmReportsStore).
arv_add_library(arv_reports
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unReports.h
    ${CMAKE_CURRENT_LIST_DIR}/unReports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unReportsStore.h
    ${CMAKE_CURRENT_LIST_DIR}/unReportsStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unDaysNumber.h
    ${CMAKE_CURRENT_LIST_DIR}/unDaysNumber.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unDynamicgroupSelect.h
    ${CMAKE_CURRENT_LIST_DIR}/unDynamicgroupSelect.cpp
  DEPS arv_reports_core arv_main_window arv_main_gridoutput arv_bulk_exportform arv_bulk_export arv_options arv_ui Qt6::Core Qt6::Gui Qt6::Widgets)
