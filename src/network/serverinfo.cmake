# The server information dialog and its credentials dialog.
arv_add_library(arv_network_serverinfo
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unServerInfo.h ${CMAKE_CURRENT_LIST_DIR}/unServerInfo.cpp
  DEPS arv_network_dcservers arv_netenum arv_core_connection arv_core_values arv_office arv_options arv_ui
       Qt6::Widgets)
