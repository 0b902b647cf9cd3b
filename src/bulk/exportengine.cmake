# The export engine and its six formats (no widgets).
arv_add_library(arv_bulk_export
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/exportengine.h
    ${CMAKE_CURRENT_LIST_DIR}/exportinternal.h
    ${CMAKE_CURRENT_LIST_DIR}/exportwriter.h
    ${CMAKE_CURRENT_LIST_DIR}/exportvalues.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exporttext.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exportcsv.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exportsql.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exportxml.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exporthtml.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exportdatabase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exportworkbook.cpp
    ${CMAKE_CURRENT_LIST_DIR}/exportengine.cpp
  DEPS arv_core_textsink arv_core_search arv_core_connection arv_core_values arv_main_catalogue arv_office arv_jet Qt6::Core)
