# The export engine and its six formats (no widgets).
arv_add_library(arv_bulk_export
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/exportengine.h
    ${CMAKE_CURRENT_LIST_DIR}/exportinternal.h
    ${CMAKE_CURRENT_LIST_DIR}/exportvalues.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exportformats.cpp
  DEPS arv_core_search arv_core_connection arv_core_values arv_main_catalogue arv_office arv_jet Qt6::Core)
