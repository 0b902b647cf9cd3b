# The local zone's offsets, cached per day for converting many directory times.
arv_add_library(arv_core_localzone
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/localzone.h ${CMAKE_CURRENT_LIST_DIR}/localzone.cpp
  DEPS Qt6::Core)
