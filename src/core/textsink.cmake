# A text file written whole or not at all (UTF-16 or Windows-1252), for every file output.
arv_add_library(arv_core_textsink
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/textsink.h ${CMAKE_CURRENT_LIST_DIR}/textsink.cpp
  DEPS arv_core_values arv_files Qt6::Core)
