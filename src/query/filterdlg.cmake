# The filter builder (TfrmFilter, query::BuildFilter) and the saved-query dialog
# (TfrmLoadSaveLDAPQ). Callers link arv_query_filterdlg and include "query/unFilter.h".
arv_add_library(arv_query_filterdlg
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unFilter.h ${CMAKE_CURRENT_LIST_DIR}/unFilter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unLoadSaveLDAPQ.h ${CMAKE_CURRENT_LIST_DIR}/unLoadSaveLDAPQ.cpp
  DEPS arv_query_find arv_query_logic arv_core_search arv_core_connection arv_options arv_ui
       Qt6::Core Qt6::Gui Qt6::Widgets)
