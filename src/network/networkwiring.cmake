# The network windows' place in the program.
arv_add_library(arv_network
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unNetworkWiring.h ${CMAKE_CURRENT_LIST_DIR}/unNetworkWiring.cpp
  DEPS arv_network_browser arv_network_serverinfo arv_network_dcservers arv_main_window Qt6::Widgets)
