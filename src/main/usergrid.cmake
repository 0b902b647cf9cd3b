# The user grid: the listed users (records, columns, listing rules, sorting) and the
# model/view grid over them.
arv_add_library(arv_main_usergrid
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unUserList.h
    ${CMAKE_CURRENT_LIST_DIR}/unUserList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unUserListing.h
    ${CMAKE_CURRENT_LIST_DIR}/unUserListing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unUserGrid.h
    ${CMAKE_CURRENT_LIST_DIR}/unUserGrid.cpp
  DEPS Qt6::Core Qt6::Gui Qt6::Widgets arv_ui arv_adsi arv_core_values
       arv_core_search arv_core_connection arv_main_catalogue)
