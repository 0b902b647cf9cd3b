# The main window's hooks for the group windows (linked by the program only).
arv_add_library(arv_groups_wiring
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unGroupsWiring.h ${CMAKE_CURRENT_LIST_DIR}/unGroupsWiring.cpp
  DEPS arv_groups arv_userprop arv_main_window Qt6::Widgets)
