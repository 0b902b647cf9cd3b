# The directory search wrapper (TQelADSISearching) and the directory error helpers.
arv_add_library(arv_core_search
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unSearch.cpp
  DEPS arv_core_localzone arv_adsi Qt6::Core)
