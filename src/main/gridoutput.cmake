# The grid's own outputs (HTML, CSV, workbook) and the user document, with their buttons.
arv_add_library(arv_main_gridoutput
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unGridOutput.h ${CMAKE_CURRENT_LIST_DIR}/unGridOutput.cpp
  DEPS arv_main_window arv_main_usergrid arv_main_quickpanel arv_core_textsink arv_office arv_core_values
       arv_core_connection arv_ui Qt6::Widgets)
