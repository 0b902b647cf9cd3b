# The " Select User " dialog (TfrmFind) and the last-logon group it shares with the filter
# builder. Callers link arv_query_find and include "query/unFind.h".
arv_add_library(arv_query_find
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unLastLogonBox.h ${CMAKE_CURRENT_LIST_DIR}/unLastLogonBox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unFind.h ${CMAKE_CURRENT_LIST_DIR}/unFind.cpp
  DEPS arv_query_logic arv_core_search arv_core_connection arv_core_values arv_options arv_ui
       Qt6::Core Qt6::Gui Qt6::Widgets)
