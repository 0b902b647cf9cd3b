# Walking the network below a resource (the browser's thread and the command-line browser).
arv_add_library(arv_network_walk
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unNetWalk.h ${CMAKE_CURRENT_LIST_DIR}/unNetWalk.cpp
  DEPS arv_netenum Qt6::Core)
