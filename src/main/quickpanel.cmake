# The quick property panel below the grid and its picture tab.
arv_add_library(arv_main_quickpanel
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unQuickPanel.h ${CMAKE_CURRENT_LIST_DIR}/unQuickPanel.cpp
          ${CMAKE_CURRENT_LIST_DIR}/unPictureTab.h ${CMAKE_CURRENT_LIST_DIR}/unPictureTab.cpp
  DEPS arv_main_picture arv_main_usergrid arv_main_catalogue arv_core_search arv_adsi arv_options arv_ui
       Qt6::Core Qt6::Gui Qt6::Widgets)
