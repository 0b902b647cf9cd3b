# The group windows: the two group lists, the group and query-based group property windows and
# the tab pages they share; wireMainWindow plugs them into the main window.
arv_add_library(arv_groups
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unGroupPages.h ${CMAKE_CURRENT_LIST_DIR}/unGroupPages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unGroupDialog.h ${CMAKE_CURRENT_LIST_DIR}/unGroupDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unSelectGroup.h ${CMAKE_CURRENT_LIST_DIR}/unSelectGroup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unGroupView.h ${CMAKE_CURRENT_LIST_DIR}/unGroupView.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unDynamicGroupView.h ${CMAKE_CURRENT_LIST_DIR}/unDynamicGroupView.cpp
  DEPS arv_groups_core arv_userprop_raw arv_userprop_security arv_adssecurity arv_query_find arv_main_catalogue arv_options arv_ui arv_office arv_core_values
       Qt6::Core Qt6::Gui Qt6::Widgets)
