# TNetServer: a server's information record and the browser's texts for it.
arv_add_library(arv_network_server
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unNetServer.h ${CMAKE_CURRENT_LIST_DIR}/unNetServer.cpp
  DEPS arv_netenum arv_core_search Qt6::Core)
