# The main window's filter builder, Find User and manager picker.
arv_add_library(arv_query_wiring
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wiremain.h ${CMAKE_CURRENT_LIST_DIR}/wiremain.cpp
  DEPS arv_query_filterdlg arv_query_find arv_main_window arv_main_quickpanel Qt6::Widgets)
