# Find and replace across users: the engine (conditions, placeholders, preview, the apply
# loop and its log) shared by the window and arvendel-cli, and the window.
arv_add_library(arv_bulk_replace
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/replaceengine.h ${CMAKE_CURRENT_LIST_DIR}/replaceengine.cpp
  DEPS arv_core_connection arv_core_search arv_main_catalogue arv_query_filter arv_adsi Qt6::Core)
