# The attribute catalogue: user, group and country tables and their lookups.
arv_add_library(arv_main_catalogue
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unCatalogue.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unCatalogueUsers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unCatalogueCountries.cpp
  DEPS Qt6::Core)
