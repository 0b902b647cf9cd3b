# The forest's domain controllers and their RootDSE rows (server information, CLI).
arv_add_library(arv_network_dcservers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unDcServers.h ${CMAKE_CURRENT_LIST_DIR}/unDcServers.cpp
  DEPS arv_netenum arv_core_connection arv_core_search arv_core_values arv_query_filter arv_office arv_adsi
       Qt6::Core Qt6::Network)
