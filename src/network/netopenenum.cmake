# The "Browse for Server" window and its walker thread.
arv_add_library(arv_network_browser
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unNetOpenEnum.h ${CMAKE_CURRENT_LIST_DIR}/unNetOpenEnum.cpp
  DEPS arv_network_walk arv_network_server arv_netenum arv_options arv_ui Qt6::Widgets)
