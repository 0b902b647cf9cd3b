# Find and replace across users: the engine (conditions, placeholders, preview, the apply
# loop and its log) shared by the window and arvendel-cli, and the window.
arv_add_library(arv_bulk_replace
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/replaceengine.h ${CMAKE_CURRENT_LIST_DIR}/replaceengine.cpp
  DEPS arv_core_connection arv_core_search arv_main_catalogue arv_query_filter arv_journal arv_adsi Qt6::Core)
# The window (TfrmFindAndReplace, TfrmQueryShow).
arv_add_library(arv_bulk_replace_window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unFindAndReplace.h ${CMAKE_CURRENT_LIST_DIR}/unFindAndReplace.cpp
  DEPS arv_bulk_replace arv_core_values arv_options arv_ui Qt6::Core Qt6::Gui Qt6::Widgets)
# actFindAndReplace of the main window, with the filter builder and Find User.
arv_add_library(arv_bulk_replace_wiring
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unFindAndReplaceWiring.h ${CMAKE_CURRENT_LIST_DIR}/unFindAndReplaceWiring.cpp
  DEPS arv_bulk_replace_window arv_query_filterdlg arv_query_find arv_main_window Qt6::Widgets)
